#include "config/profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <filesystem>

#include "config_test.h"

namespace qm::test {
namespace {

struct profile_test : file_test {
    profile_test() : file_test("test.ini") {}
    // The file after writing `key`=`value` into `section`.
    std::string written(std::string_view section, std::string_view key = "k", std::string_view value = "v", bool keep_sorted = false) {
        EXPECT_TRUE(profile_write_string(path, section, key, value, keep_sorted));
        return contents();
    }
};

TEST_F(profile_test, sorted_write_puts_a_new_section_at_its_place) {
    // Double-byte characters sort by their 16-bit code: half-width 0xB1 before 0x82A0.
    for (auto [before, section, sorted, after] : {std::tuple{"[a]\nx=1\n[c]\n", "b", true, "[a]\nx=1\n[b]\nk=v\n[c]\n"},
                                                  {"[c]\ny=2\n", "b", true, "[b]\nk=v\n[c]\ny=2\n"},
                                                  {"; top\n[a]\n", "b", true, "; top\n[a]\n[b]\nk=v\n"},
                                                  {"[c]\ny=2\n", "b", false, "[c]\ny=2\n[b]\nk=v\n"},
                                                  {"[あ]\n", "ｱ", true, "[ｱ]\nk=v\n[あ]\n"}}) {
        given(sj(before));
        EXPECT_EQ(written(sj(section), "k", "v", sorted), crlf(sj(after))) << before;
    }
}

TEST_F(profile_test, write_replaces_in_place_and_appends_after_the_last_key) {
    given("top=0\n[a]\nx=1\ny=2\n; note\n\n[b]\ny=9\n");
    EXPECT_EQ(written("a", " Y ", "new"), crlf("top=0\n[a]\nx=1\n Y =new\n; note\n\n[b]\ny=9\n"));
    EXPECT_EQ(written("a", "z", "3"), crlf("top=0\n[a]\nx=1\n Y =new\nz=3\n; note\n\n[b]\ny=9\n"));

    // A key of a section without keys comes right after its header; a last line gets its line feed.
    write_bytes(file, "[a]\r\n[b]\r\nk=1");
    EXPECT_EQ(written("a", "k", "0"), crlf("[a]\nk=0\n[b]\nk=1\n"));

    // Values are kept byte for byte; keys match without case and blanks; strings and defaults are cut.
    ASSERT_TRUE(profile_write_string(path, "b", "v", "  a=b  ", false));
    EXPECT_EQ(profile_read_string(path, "b", "  V\t", "def") + "|" + profile_read_string(path, "b", "v", "", 4) + "|" +
                  profile_read_string(path, "b", "none", "uvwxyz", 4), "  a=b  |  a|uvw");
}

TEST_F(profile_test, typed_values_round_trip_and_read_from_hand_written_forms) {
    ASSERT_TRUE(profile_write_bool(path, "s", "t", true, false) && profile_write_bool(path, "s", "f", false, false));
    auto write_real = [&](const char* key, double value) { return profile_write_string(path, "s", key, format_profile_real(value), false); };
    ASSERT_TRUE(profile_write_string(path, "s", "i", "-42", false) && write_real("r", 1.5));
    ASSERT_TRUE(write_real("w", 2) && profile_write_char(path, "s", "c", 'x', false));
    ASSERT_TRUE(profile_write_char(path, "s", "z", '\0', false) && write_real("e", 1e20));
    EXPECT_EQ(contents(), crlf("[s]\nt=+\nf=-\ni=-42\nr=1.50\nw=2.00\nc=x\nz=\ne=100000000000000000000.00\n"));
    EXPECT_EQ(std::pair(profile_read_bool(path, "s", "f", true), profile_snapshot(path).read_real("s", "r", 0)), std::pair(false, 1.5f));

    given("[s]\nb1=on\nb2=On\nb3=OFF\nb4=onion\nb5=\nb6=+junk\nb7=yes\n"
          "i1=12abc\ni2=abc\ni3= \t-7\ni4=000000000012\ni5=99999999999\ni6=-99999999999\n"
          "r1=  2.5e1xyz\nr2=junk\nr3=1e999\n");
    std::string bools;  // "onion" is cut to "oni" before it is compared
    for (const char* key : {"b1", "b2", "b3", "b4", "b5", "b6", "b7"}) bools += profile_read_bool(path, "s", key, true) ? '+' : '-';
    EXPECT_EQ(bools, "++---+-");
    std::vector<int> ints;  // only 11 characters count; overflow saturates
    for (const char* key : {"i1", "i2", "i3", "i4", "i5", "i6"}) ints.push_back(profile_read_int(path, "s", key, -1));
    EXPECT_EQ(ints, (std::vector<int>{12, 0, -7, 1, INT_MAX, INT_MIN}));
    const profile_snapshot reals(path);
    EXPECT_EQ(std::pair(reals.read_real("s", "r1", -1), reals.read_real("s", "r2", -1)), std::pair(25.0f, 0.0f));
    EXPECT_TRUE(std::isinf(reals.read_real("s", "r3", -1)));
}

TEST_F(profile_test, section_list_operations) {
    EXPECT_FALSE(profile_count_sections(path) != -1 || profile_section_exists(path, "a"));
    // "[aゾ" has no closing bracket: the trail byte of ゾ is "]".
    given(sj("x=0\n[Alpha]\nk=1\n[aゾ\n[b]] \nk=2\n[Alpha]\nk=3\n"));
    EXPECT_EQ(profile_count_sections(path), 4);
    EXPECT_TRUE(profile_section_exists(path, "b]") && !profile_section_exists(path, "alpha"));

    // Only the first section of a name is read and deleted.
    EXPECT_EQ(profile_read_int(path, "Alpha", "k", 0), 1);
    ASSERT_TRUE(profile_delete_section(path, "Alpha"));
    EXPECT_EQ(contents(), crlf(sj("x=0\n[aゾ\n[b]] \nk=2\n[Alpha]\nk=3\n")));
    EXPECT_TRUE(profile_delete_section(path, "missing") && profile_delete_section(dir.cp("none.ini"), "a"));
    EXPECT_EQ(list_names(dir.path()), names{"test.ini"});
}

TEST_F(profile_test, long_lines_are_read_whole) {
    // Read in 255-byte pieces, this line's tail would be a header "[b]".
    std::string long_value(253, 'v');
    given("[a]\nk=" + long_value + "[b]\nm=1\n");
    EXPECT_EQ(std::tuple(profile_count_sections(path), profile_read_string(path, "a", "k", "", 1000), profile_read_int(path, "a", "m", 0)),
              std::tuple(1, long_value + "[b]", 1));
    EXPECT_EQ(written("a", "m", "2"), crlf("[a]\nk=" + long_value + "[b]\nm=2\n"));
}

TEST_F(profile_test, failed_writes_leave_the_file_as_it_was) {
    // (The file is compared once, at the end: nothing here may change it.)
    given("[a]\nx=1\n");
    ASSERT_EQ(::mkdir((dir / "test.$$$").c_str(), 0700), 0);
    EXPECT_FALSE(profile_write_string(path, "a", "x", "2", false) || profile_write_string(path, "b", "x", "2", true) ||
                 profile_delete_section(path, "a"));
    EXPECT_EQ(list_names(dir.path()), (names{"test.$$$", "test.ini"}));
    ASSERT_EQ(::rmdir((dir / "test.$$$").c_str()), 0);
    // What stands at the path but cannot be read is not written over.
    ASSERT_TRUE(::mkdir((dir / "sub").c_str(), 0700) == 0 && ::symlink("sub", (dir / "link.ini").c_str()) == 0);
    EXPECT_TRUE(!profile_write_string(dir.cp("link.ini"), "a", "x", "2", false) && std::filesystem::is_symlink(dir / "link.ini"));

    // Texts that would not read back as written are refused.
    for (auto [section, key, value] : {std::tuple{"a", "x", "two\nlines"}, {"a", "x", "cut\x1a"}, {"a\n[b]", "x", "1"},
                                       {"a", "k=v", "1"}, {"a", "[k", "1"}, {"a", " ", "1"}})
        EXPECT_FALSE(profile_write_string(path, section, key, value, false)) << key << value;
    EXPECT_EQ(contents(), crlf("[a]\nx=1\n"));
}

}  // namespace
}  // namespace qm::test
