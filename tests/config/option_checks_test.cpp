#include "config/option_checks.h"

#include "config/settings.h"
#include "platform/string_table.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

using list = std::vector<std::string>;

TEST(option_checks, dangerous_extensions_match_whole_extensions_in_any_case) {
    const std::string listed(default_dangerous_extensions);
    for (const char* name : {"setup.EXE", "a.b.Scr", "setup.exe . ", ".exe", "dir.txt/run.bat"})
        EXPECT_TRUE(has_dangerous_extension(name, listed)) << name;
    for (const char* name : {"file.exe.txt", "exe", "a.ex", "a.exex", "a.", "bat.exe/readme"})
        EXPECT_FALSE(has_dangerous_extension(name, listed)) << name;
    // Every listed extension counts: one that begins a longer one, one after a text without a
    // leading dot, one far beyond the first kilobyte, one in Japanese (表 ends in "\").
    EXPECT_TRUE(has_dangerous_extension("a.ex", ".exe.ex") && has_dangerous_extension("a.exe", "bat.exe"));
    EXPECT_FALSE(has_dangerous_extension("a.bat", "bat.exe"));
    std::string long_list;
    for (int i = 0; i < 400; ++i) long_list += ".x" + std::to_string(i);
    EXPECT_TRUE(has_dangerous_extension("a.vbs", long_list + ".vbs") && has_dangerous_extension(sj("a.表"), sj(".txt.表")));
    EXPECT_FALSE(has_dangerous_extension(sj("a.表"), ".txt.\x95"));

    const std::pair<const char*, int> names[] = {{"setup.EXE", str::dangerous_attachment},
                                                 {"com3", str::folder_name_rules}, {"\x81/x", str::folder_name_rules},
                                                 {"", str::name_missing}, {"a.pdf", 0}};
    for (const auto& [name, message] : names) EXPECT_EQ(check_attachment_name(name, listed), message) << name;
}

TEST(option_checks, lists_split_and_join_as_the_dialogs_edit_them) {
    EXPECT_EQ(split_open_header_list("b,,a"), (list{"", "a", "b"}));
    EXPECT_EQ(join_open_header_list(split_open_header_list(default_open_header)), default_open_header);
    EXPECT_EQ(std::pair(split_extension_list("bat.exe"), split_extension_list(".bat..exe.")), std::pair(list{}, list{"bat", "exe"}));

    list names{"Cc", "To"};
    // Names are compared exactly; one with a comma would come back as two.
    EXPECT_EQ(add_open_header(names, "Date").index, 1u);
    EXPECT_EQ(add_open_header(names, "Cc").message, str::name_exists);
    EXPECT_EQ(add_open_header(names, "cc").index, 3u);
    EXPECT_EQ(add_open_header(names, "X-A,X-B").message, str::open_header_comma);
    EXPECT_EQ(names, (list{"Cc", "Date", "To", "cc"}));

    list extensions{"exe"};
    EXPECT_EQ(add_extension(extensions, "exe").message, str::name_exists);
    EXPECT_EQ(add_extension(extensions, ".js").message, str::extension_rules);
    EXPECT_EQ(add_extension(extensions, "bat").index, 1u);
    EXPECT_EQ(extensions, (list{"exe", "bat"}));
}

TEST(option_checks, key_letters_are_eleven_capitals) {
    EXPECT_EQ(check_key_letters(default_key_letters), 0);
    for (const std::string& letters : std::vector<std::string>{"DFKNACMGTS", "dfknacmgtsr", "DFKNACMGTSRA", "DFKNACMGTS1"})
        EXPECT_EQ(check_key_letters(letters), str::key_letters_rules) << letters;
}

}  // namespace
}  // namespace qm::test
