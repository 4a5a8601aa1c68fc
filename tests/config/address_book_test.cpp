#include "config/address_book.h"

#include "store/accounts.h"
#include "config_test.h"
#include "platform/file_operations.h"

namespace qm::test {
namespace {

using book = std::vector<std::pair<std::string, std::string>>;

struct address_book_test : data_directory_test {
    address_book_test() : data_directory_test("address.ini") {}
    std::string auto_cc(std::string_view title) { return read_account_key(mailbox, title, "auto Cc", ""); }
    void given_account(std::string_view title, std::string_view auto_cc) {
        write_bytes(account_file(mailbox, title), crlf("[account]\nauto Cc=" + std::string(auto_cc) + "\n"));
    }
    std::string mailbox = dir.cp("mailbox/");
};

TEST_F(address_book_test, entries_are_looked_up_by_name_and_read_in_one_pass) {
    ASSERT_TRUE(add_address_entry("taro", "taro@example.jp") && add_address_entry("hanako", "hanako@example.jp"));
    EXPECT_EQ(contents(), crlf("[hanako]\naddress=hanako@example.jp\n[taro]\naddress=taro@example.jp\n"));
    EXPECT_EQ(lookup_address("taro") + " " + lookup_address("Taro"), "taro@example.jp Taro");

    // The one-pass reader reads as the lookups do: key case and blanks ignored, the first of a name.
    given("x=1\n[a]\n Address =a@x\naddress=2\n[b]\n[a]\naddress=3\n");
    EXPECT_EQ(read_address_book(), (book{{"a", "a@x"}, {"b", ""}, {"a", "a@x"}}));
    EXPECT_EQ(lookup_address("a"), "a@x");
}

TEST_F(address_book_test, renaming_an_entry_updates_groups_and_automatic_recipients) {
    ASSERT_TRUE(add_address_entry("taro", "taro@example.jp") && add_address_entry("zed", "zed@example.jp"));
    ASSERT_TRUE(write_group("g1", "zed,taro,taro2") && write_group("g2", "taro"));
    given_account("one", "taro");
    given_account("two", "taro2");

    ASSERT_TRUE(rename_address_entry("taro", "jiro", "jiro@example.jp", mailbox));
    EXPECT_EQ(read_address_book(), (book{{"jiro", "jiro@example.jp"}, {"zed", "zed@example.jp"}}));
    EXPECT_EQ(read_group_members("g1") + " " + read_group_members("g2") + " " + auto_cc("one") + " " + auto_cc("two"),
              "zed,jiro,taro2 jiro jiro taro2");
    // The same name: the address changes in place.
    ASSERT_TRUE(rename_address_entry("zed", "zed", "z@example.jp", mailbox));
    EXPECT_EQ(read_address_book(), (book{{"jiro", "jiro@example.jp"}, {"zed", "z@example.jp"}}));

    // A file that cannot be rewritten keeps the entry as it was.
    const std::string before = contents();
    ASSERT_TRUE(make_directory(dir.cp("address.$$$")));
    EXPECT_FALSE(rename_address_entry("jiro", "saburo", "s@example.jp", mailbox));
    EXPECT_TRUE(contents() == before && read_group_members("g2") == "jiro");
}

TEST_F(address_book_test, deleting_an_entry_leaves_clean_member_lists) {
    for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(add_address_entry(name, "x@example.jp"));
    for (const char* group : {"a,b,c", "b,a,c", "b,c,a", "a"}) ASSERT_TRUE(write_group(group, group));
    given_account("one", "a");

    ASSERT_TRUE(delete_address_entry("a") && !is_address_entry("a"));
    for (const char* group : {"a,b,c", "b,a,c", "b,c,a"}) EXPECT_EQ(read_group_members(group), "b,c");
    EXPECT_EQ(read_group_members("a") + " " + auto_cc("one"), "a a");  // a group is never left empty
    EXPECT_TRUE(delete_address_entry("b") && delete_address_entry("c") && !exists(file));

    for (const char* group : {"a,b,c", "b,a,c", "b,c,a", "a"}) ASSERT_TRUE(delete_group(group));
    EXPECT_FALSE(exists(dir / "group.ini"));
}

TEST_F(address_book_test, dialog_checks_give_the_message_of_the_first_rule_broken) {
    ASSERT_TRUE(add_address_entry("taro", "taro@example.jp") && write_group("team", "taro"));
    std::tuple<std::string, const char*, bool, int> cases[] = {
        {"", "a@b.jp", true, str::name_missing},         {"a@b", "bad", true, str::invalid_display_name},
        {"ta,ro", "a@b.jp", true, str::invalid_display_name}, {" x", "a@b.jp", true, str::entry_name_brackets},
        {"x ", "a@b.jp", true, str::entry_name_brackets},  {"[x", "a@b.jp", true, str::entry_name_brackets},
        {"new", "no-at-sign", true, str::invalid_address}, {"taro", "a@b.jp", true, str::name_exists},
        {"team", "a@b.jp", true, str::name_exists},        {"taro", "a@b.jp", false, 0},
        {sj("ゼロ"), "a@b.jp", true, 0},  // the trail byte of "ゼ" is "[", not a bracket
    };
    for (const auto& [name, address, is_new, expected] : cases)
        EXPECT_EQ(check_address_entry(name, address, is_new), expected) << name;
    EXPECT_EQ(std::pair(check_group_name("taro", true), check_group_name("team", false)), std::pair(str::name_exists, 0));

    EXPECT_EQ(check_new_group(), 0);
    ASSERT_TRUE(delete_address_entry("taro"));
    EXPECT_EQ(check_new_group(), str::group_needs_address_book);
    for (int i = 0; i < max_address_entries; ++i) ASSERT_TRUE(add_address_entry("e" + std::to_string(i), "x@y.jp"));
    EXPECT_EQ(check_new_address_entry(), str::too_many_items);
}

}  // namespace
}  // namespace qm::test
