#include <gtest/gtest.h>

#include "platform/cp932.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::sj;
using test::temp_dir;

std::vector<std::string> listed_names(const std::string& directory) {
    std::vector<std::string> names;
    directory_walker walker(directory);
    dir_entry entry;
    while (walker.next(entry)) {
        if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Cp932Names, FolderNameIsUtf8OnDiskAndCp932InTheProgram) {
    temp_dir dir;
    std::string inbox = sj(" 受信箱");
    ASSERT_EQ(inbox, "\x20\x8e\xf3\x90\x4d\x94\xa0");
    ASSERT_TRUE(make_directory(dir.cp() + inbox + "/"));
    EXPECT_EQ(test::list_names(dir.path()), std::vector<std::string>{" 受信箱"});
    EXPECT_EQ(listed_names(dir.cp()), std::vector<std::string>{inbox});
    EXPECT_TRUE(directory_exists(dir.cp() + inbox));
}

TEST(Cp932Names, ATrailByteThatLooksLikeABackslashIsNoSeparator) {
    // 表 and ソ end in 0x5C; a folder named with them must be made, found
    // and renamed like any other.
    temp_dir dir;
    std::string name = sj("予定表");
    ASSERT_EQ(name.back(), '\\');
    ASSERT_TRUE(make_directory(dir.cp() + name + "/"));
    EXPECT_TRUE(directory_exists(dir.cp() + name + "/"));
    EXPECT_TRUE(directory_exists(dir.cp() + name));
    EXPECT_EQ(trimmed_path(dir.cp() + name + "/"), dir.cp() + name);
    EXPECT_TRUE(rename_path(dir.cp() + name + "/", dir.cp() + sj("ソ") + "/"));
    EXPECT_EQ(test::list_names(dir.path()), std::vector<std::string>{"ソ"});
    EXPECT_EQ(trimmed_path("a/b\\//"), "a/b");
}

TEST(Cp932Names, CharactersWithTwoUnicodeFormsMapToOneName) {
    // CP932 0x8160 is FULLWIDTH TILDE on disk; a name spelled with WAVE DASH
    // would not map back to the same file and is left out of listings.
    temp_dir dir;
    test::write_bytes(dir / "a～b", "x");
    test::write_bytes(dir / "c〜d", "y");
    EXPECT_EQ(listed_names(dir.cp()), std::vector<std::string>{"a\x81\x60" "b"});
    EXPECT_TRUE(path_exists(dir.cp() + "a\x81\x60" "b"));
}

TEST(Cp932Names, NamesWithoutCp932FormAreLeftOut) {
    temp_dir dir;
    test::write_bytes(dir / "emoji😀.txt", "x");
    test::write_bytes(dir / "latin-é.txt", "x");
    test::write_bytes(dir / "bad\xff.txt", "x");  // not even UTF-8
    test::write_bytes(dir / "plain.txt", "x");
    EXPECT_EQ(listed_names(dir.cp()), std::vector<std::string>{"plain.txt"});
}

TEST(Cp932Names, MalformedProgramPathsFailQuietly) {
    temp_dir dir;
    std::string lone_lead = dir.cp() + "abc\x82";
    EXPECT_EQ(disk_path(lone_lead), "");
    EXPECT_FALSE(make_directory(lone_lead));
    EXPECT_FALSE(path_exists(lone_lead));
    EXPECT_EQ(file_size(lone_lead), -1);
    EXPECT_FALSE(write_text_file(lone_lead, "x"));
    EXPECT_EQ(test::list_names(dir.path()), std::vector<std::string>{});
}

TEST(Cp932Names, ConversionsRoundTripEveryJisRow) {
    // Every double-byte code CP932 defines converts to UTF-8 and back.
    int converted = 0;
    for (int lead = 0x81; lead <= 0xfc; ++lead) {
        if (lead > 0x9f && lead < 0xe0) continue;
        for (int trail = 0x40; trail <= 0xfc; ++trail) {
            if (trail == 0x7f) continue;
            std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            auto utf8 = cp932_to_utf8(code);
            if (!utf8) continue;
            auto back = utf8_to_cp932(*utf8);
            ASSERT_TRUE(back.has_value());
            // NEC and IBM duplicates map to one preferred code.
            if (*back == code) ++converted;
        }
    }
    EXPECT_GT(converted, 7000);
}

}  // namespace
}  // namespace qm
