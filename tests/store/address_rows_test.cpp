#include "config/address_book.h"
#include "store/address_rows.h"
#include "store/store_fixture.h"
#include "text/mail_address.h"

namespace qm::test {
namespace {

class AddressRows : public store_test {
protected:
    // The draft's header "0" (UTF-8 text with "\n", stored as CP932 with CR LF).
    void header(std::string_view utf8) const { write_bytes(path_utf8, stored(utf8)); }
    std::string bytes() const { return read_bytes(path_utf8); }
    std::string text() const { return u8(read_bytes(path_utf8)); }

    std::vector<address_row> rows() const {
        std::vector<address_row> read;
        EXPECT_TRUE(read_address_rows(path, read));
        return read;
    }
    // Each row as "kind|shown|address|name".
    names texts() const {
        names out;
        for (const address_row& r : rows())
            out.push_back(u8(address_kind_label(r.field) + "|" + r.shown + "|" + r.address + "|" + r.name));
        return out;
    }
    address_row row(std::size_t at) const { return rows().at(at); }
    int add(int field, std::string_view utf8) const { return add_address(path, field, sj(utf8)); }
    int change(std::size_t at, int field, std::string_view utf8) const {
        return change_address(path, row(at), field, sj(utf8));
    }

    static constexpr int to = 3, cc = 4, bcc = 5;
    const std::string path_utf8 = at(" 送信箱/草稿/.1/0");
    const std::string path = sj(path_utf8);
};

TEST_F(AddressRows, ReceivedHeaderGivesItsAddressesInHeaderOrder) {
    // Every kind of address field, folded and encoded, among fields that hold addresses but are none.
    header(read_bytes(test_data + "store/received_header_addresses.txt"));
    EXPECT_EQ(texts(), (names{
                           "写し        (Cc)|\"Suzuki, Ichiro\" <ichiro@example.jp>|ichiro@example.jp|Suzuki, Ichiro",
                           "差出人      (From)|taro@example.jp (山田太郎)|taro@example.jp|山田太郎",
                           "宛先        (To)|hanako@example.jp|hanako@example.jp|",
                           "宛先        (To)|山田 <yamada@example.jp>|yamada@example.jp|山田",
                           "宛先        (To)|Jiro <jiro@example.jp>|jiro@example.jp|Jiro",
                           "返信先      (Reply-To)|list@list.example|list@list.example|",
                           // The Sender's quote is never closed: it has no address to list.
                           "宛先        (To)|last@example.jp|last@example.jp|",
                       }));
}

TEST_F(AddressRows, AddingWritesAfterTheFieldsFirstLineKeepsEveryOtherByteAndExpandsEntriesAndGroups) {
    ASSERT_TRUE(add_address_entry(sj("花子"), "hanako@example.jp") && add_address_entry("jiro", "jiro@example.jp") &&
                write_group(sj("営業部"), sj("花子,jiro,c@example.jp")));
    // A lone CR, a Ctrl-Z and trailing blanks stay as they are.
    const std::string rest = "Subject: \xe4\xbc\x9a\xe8\xad\xb0 \x1a end\r\nX-Odd: a\rb  \r\n";
    write_bytes(path_utf8, "From: taro@example.jp\r\nTo: a@example.jp,\r\n b@example.jp\r\n" + rest);
    ASSERT_TRUE(add(to, "c@example.jp") == 0 && add(bcc, "花子") == 0 && add(cc, "営業部") == 0);
    EXPECT_EQ(bytes(), "From: taro@example.jp\r\nTo: a@example.jp,\r\n c@example.jp,\r\n b@example.jp\r\n" + rest +
                           "Bcc: hanako@example.jp\r\nCc: hanako@example.jp,\r\n jiro@example.jp,\r\n c@example.jp\r\n");
}

// (Invalid addresses, a missing header and a failed write are met through the address list dialog.)
TEST_F(AddressRows, AStaleRowIsRefusedAndTheFileStays) {
    header("To: a@example.jp, b@example.jp\n");
    const address_row second = row(1);
    header("To: a@example.jp, x@example.jp\n");  // changed meanwhile by another program
    const std::string before = bytes();
    EXPECT_EQ(add(6, "b@example.jp"), str::invalid_address);
    EXPECT_EQ(remove_address(path, second), str::file_error);
    EXPECT_EQ(change_address(path, second, to, "c@example.jp"), str::file_error);
    EXPECT_EQ(bytes(), before);
}

TEST_F(AddressRows, ChangingKeepsThePlaceInTheFieldOrMovesTheItemWithItsName) {
    header("To: \"A\" <a@example.jp>, b@example.jp,\n  c@example.jp (See)\nSubject: s\n");
    ASSERT_TRUE(change(1, to, "bee@example.jp") == 0 && change(2, to, "sea@example.jp") == 0 &&
                change(0, to, "a@example.jp") == 0);  // the last: the same address and field, nothing to write
    EXPECT_EQ(text(), "To: \"A\" <a@example.jp>, bee@example.jp,\r\n  sea@example.jp\r\nSubject: s\r\n");

    header("From: taro@example.jp\nTo: 山田 <yamada@example.jp>, b@example.jp\n");
    ASSERT_EQ(change(1, cc, "yamada@example.jp"), 0);
    EXPECT_EQ(text(), u8(stored("From: taro@example.jp\nTo: b@example.jp\nCc: 山田 <yamada@example.jp>\n")));
}

TEST_F(AddressRows, RemovingKeepsTheFieldWellFormedAndAnOpenQuoteStopsItsFieldOnly) {
    header("To: a@example.jp,\n b@example.jp,\n c@example.jp\nCc: d@example.jp\nSubject: s\n");
    ASSERT_EQ(remove_address(path, row(1)), 0);
    EXPECT_EQ(text(), "To: a@example.jp,\r\n c@example.jp\r\nCc: d@example.jp\r\nSubject: s\r\n");
    ASSERT_TRUE(remove_address(path, row(1)) == 0 && remove_address(path, row(1)) == 0);
    EXPECT_EQ(text(), "To: a@example.jp\r\nSubject: s\r\n");

    header("To: a@example.jp, \"Open <b@example.jp>, c@example.jp\n d@example.jp\nCc: e@example.jp\n");
    EXPECT_EQ(texts(), (names{"宛先        (To)|a@example.jp|a@example.jp|", "写し        (Cc)|e@example.jp|e@example.jp|"}));
    // What lies before the open quote can still be removed.
    EXPECT_EQ(remove_address(path, row(0)), 0);
    EXPECT_EQ(text(), "To: \"Open <b@example.jp>, c@example.jp\r\n d@example.jp\r\nCc: e@example.jp\r\n");
}

// (A hundred and first added alone is met through the address list dialog.)
TEST_F(AddressRows, AListHoldsAtMostAHundredAddresses) {
    ASSERT_TRUE(write_group("pair", "p@example.jp,q@example.jp"));
    std::string full = "To: a0@example.jp";
    for (int i = 1; i < 99; ++i) full += ",\n a" + std::to_string(i) + "@example.jp";
    header(full + "\n");
    EXPECT_EQ(add(cc, "pair"), str::address_list_too_many);
    ASSERT_EQ(add(cc, "c@example.jp"), 0);
    const std::string before = bytes();
    EXPECT_EQ(change(99, to, "pair"), str::address_list_too_many);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(change(99, to, "e@example.jp"), 0);  // a change takes one place and gives one back
    EXPECT_EQ(rows().size(), 100u);
}

}  // namespace
}  // namespace qm::test
