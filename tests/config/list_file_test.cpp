#include "config/list_file.h"

#include <sys/stat.h>

#include <cstdio>

#include "config_test.h"

namespace qm::test {
namespace {

struct list_file_test : file_test { list_file_test() : file_test("arrange.lst") {} };

TEST_F(list_file_test, items_inserted_at_their_index_stay_in_byte_order) {
    EXPECT_EQ(list_count(path) + list_insert_index(path, "beta"), -2);
    for (auto [name, text] : {std::pair{"beta", "b1\nb2"}, {"alpha", ""}, {"gamma", "g1"}})
        ASSERT_TRUE(list_insert(path, list_insert_index(path, name), name, text));
    EXPECT_EQ(contents(), crlf("\talpha\n\tbeta\nb1\nb2\n\tgamma\ng1\n"));
    // Byte order: upper case before lower case, 0x80 and up last.
    EXPECT_EQ(list_insert_index(path, "Zeta") + list_insert_index(path, "\x82\xa0"), 3);

    std::string name, line;
    EXPECT_TRUE(list_name_at(path, 2, name, 4) && list_text_line(path, "beta", 1, line) && name + line == "gamb2") << name << line;
    EXPECT_FALSE(list_name_at(path, 3, name) || list_has(path, "Gamma") || list_text_line(path, "alpha", 0, line));

    ASSERT_TRUE(list_delete_named(path, "beta") && list_delete_at(path, 0) && !list_delete_at(path, 1));
    EXPECT_EQ(contents(), crlf("\tgamma\ng1\n"));

    given("loose\ntext\n");
    ASSERT_TRUE(list_count(path) == 0 && list_insert(path, 0, "a", "x"));
    EXPECT_EQ(contents(), crlf("loose\ntext\n\ta\nx\n"));
}

// Lines around the 255-character piece length are copied unchanged.
TEST_F(list_file_test, long_text_lines_survive_every_rewrite) {
    for (std::size_t length : {254u, 255u, 256u, 510u, 511u}) {
        SCOPED_TRACE(length);
        const std::string long_line = std::string(length - 1, 'x') + "y";
        std::string piece;
        std::remove(file.c_str());
        ASSERT_TRUE(list_insert(path, -1, "first", long_line + "\nshort") && list_insert(path, 0, "zero", long_line));
        EXPECT_EQ(contents(), crlf("\tzero\n" + long_line + "\n\tfirst\n" + long_line + "\nshort\n"));
        EXPECT_TRUE(list_text_line(path, "first", 0, piece) && piece == long_line.substr(0, 255));
        ASSERT_TRUE(list_delete_at(path, 0));
        EXPECT_EQ(contents(), crlf("\tfirst\n" + long_line + "\nshort\n"));
    }
}

// A last line without a line feed (a file written by hand) stays a line of its own.
TEST_F(list_file_test, an_entry_after_a_last_line_without_line_feed_starts_a_line_of_its_own) {
    for (const char* last : {"\ta\r\nx", "\ta", "\ta\r\nx\x1a"}) {
        write_bytes(file, last);
        std::string line;
        EXPECT_TRUE(list_insert(path, -1, "b", "y") && list_count(path) == 2 && list_text_line(path, "b", 0, line) && line == "y") << last;
        EXPECT_TRUE(contents().ends_with("\r\n\tb\r\ny\r\n")) << contents();
    }
}

TEST_F(list_file_test, failures_leave_files_as_they_were) {
    // (The file is compared once, at the end: nothing here may change it.)
    given("\ta\nx\n");
    ASSERT_EQ(::mkdir((dir / "arrange.$$$").c_str(), 0700), 0);
    EXPECT_FALSE(list_insert(path, -1, "b", "y") || list_delete_named(path, "a"));
    EXPECT_EQ(list_names(dir.path()), (names{"arrange.$$$", "arrange.lst"}));
    ASSERT_EQ(::rmdir((dir / "arrange.$$$").c_str()), 0);

    // Items that would not read back as written are refused.
    for (auto [name, text] : {std::pair<std::string, std::string>{"two\nlines", ""}, {"b", "ok\n\tan item?"},
                              {"b", std::string(255, 'x') + "\tpiece"}, {"b", "cut\x1a"}, {std::string(254, 'n'), ""}})
        EXPECT_FALSE(list_insert(path, -1, name, text)) << text;
    EXPECT_EQ(contents(), crlf("\ta\nx\n"));
}

}  // namespace
}  // namespace qm::test
