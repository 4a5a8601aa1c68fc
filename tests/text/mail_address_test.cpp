#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/mail_address.h"

namespace qm {
namespace {

using test::sj;
using test::temp_dir;
using test::write_bytes;

constexpr auto npos = std::string_view::npos;

struct address_and_name {
    bool found;
    std::string address;
    std::string name;
    bool operator==(const address_and_name&) const = default;
};
void PrintTo(const address_and_name& r, std::ostream* os) {
    *os << r.found << " [" << r.address << "] [" << test::u8(r.name) << "]";
}

address_and_name split(std::string_view item, std::size_t capacity = 256, std::size_t name_capacity = 256) {
    address_and_name r;
    r.found = split_address(item, &r.name, name_capacity, &r.address, capacity);
    return r;
}

address_and_name header_address(std::string_view header, std::string_view field, int index) {
    address_and_name r;
    r.found = get_header_text_address(header, field, index, r.address, 256, r.name, 128);
    return r;
}

TEST(AddressChecks, AddressesNamesAndAtoms) {
    EXPECT_TRUE(is_valid_address("taro.yamada@mail.example.jp"));
    for (std::string_view bad : {"taro@localhost", "a@b@c.jp", "a.b@c", "ta ro@example.jp", "taro.example.jp",
                                 "<taro@example.jp>", "ta\"ro@example.jp", "taro@example.jp\n", ""})
        EXPECT_FALSE(is_valid_address(bad)) << bad;
    EXPECT_FALSE(is_valid_address("t\x82\xa0@example.jp"));
    EXPECT_FALSE(is_valid_address("t\x7f@example.jp"));

    EXPECT_TRUE(is_valid_display_name(sj("山田　太郎")));  // 0x81 0x40: a trail byte that reads "@"
    EXPECT_TRUE(is_valid_display_name(sj("表示名")));
    for (char c : display_name_forbidden_chars) EXPECT_FALSE(is_valid_display_name(sj("山田") + c)) << c;

    std::string atoms;
    for (int c = 1; c < 256; ++c)
        if (is_atom_char(static_cast<char>(c))) atoms.push_back(static_cast<char>(c));
    EXPECT_EQ(atoms, "!#$%&'*+-./0123456789=?@ABCDEFGHIJKLMNOPQRSTUVWXYZ^_`abcdefghijklmnopqrstuvwxyz{|}~");
    EXPECT_FALSE(is_atom_char('\0'));
}

TEST(FindAddressEnd, CommasOutsideQuotesCommentsAndBrackets) {
    EXPECT_EQ(find_address_end("a@b.jp, c@d.jp", 0), 6u);
    EXPECT_EQ(find_address_end("a@b.jp, c@d.jp", 8), 14u);
    EXPECT_EQ(find_address_end("\"Yamada, Taro\" <t@x.jp>, c@d.jp", 0), 23u);
    EXPECT_EQ(find_address_end("t@x.jp (Sales, Tokyo), c@d.jp", 0), 21u);
    EXPECT_EQ(find_address_end("<odd,one@x.jp>, c@d.jp", 0), 14u);
    EXPECT_EQ(find_address_end("a@b.jp\n, c@d.jp", 0), 6u);
    EXPECT_EQ(find_address_end("", 0), 0u);
    // ")" and ">" close whatever else is open; "(" inside brackets opens nothing.
    EXPECT_EQ(find_address_end("\"a)b\", c", 0), 5u);
    EXPECT_EQ(find_address_end("<a(b>, c", 0), 5u);
    for (std::string_view open : {"\"Taro <t@x.jp>, c@d.jp", "t@x.jp (Sales, c@d.jp", "Taro <t@x.jp, c@d.jp",
                                  "\"Taro\n\" <t@x.jp>"})
        EXPECT_EQ(find_address_end(open, 0), npos) << open;
    EXPECT_EQ(find_address_end("a@b.jp", 7), npos);
}

TEST(SplitAddress, TheForms) {
    EXPECT_EQ(split("Taro Yamada <taro@example.jp>"), (address_and_name{true, "taro@example.jp", "Taro Yamada"}));
    EXPECT_EQ(split("\"Yamada, Taro\" <taro@example.jp>, x@y.jp"),
              (address_and_name{true, "taro@example.jp", "Yamada, Taro"}));
    EXPECT_EQ(split("taro@example.jp (Taro Yamada)"), (address_and_name{true, "taro@example.jp", "Taro Yamada"}));
    EXPECT_EQ(split("taro@example.jp"), (address_and_name{true, "taro@example.jp", ""}));
    EXPECT_EQ(split("<taro@example.jp> (Taro )"), (address_and_name{true, "taro@example.jp", "Taro"}));
    EXPECT_EQ(split("Taro   <taro@example.jp>\n"), (address_and_name{true, "taro@example.jp", "Taro"}));
    EXPECT_EQ(split("no address here"), (address_and_name{true, "", ""}));
    // A phrase wins over a comment, wherever the parentheses stand.
    EXPECT_EQ(split("\"Taro (Sales)\" <t@x.jp>"), (address_and_name{true, "t@x.jp", "Taro (Sales)"}));
    EXPECT_EQ(split("Taro <t@x.jp> (Sales)"), (address_and_name{true, "t@x.jp", "Taro"}));
    EXPECT_EQ(split("\"foo@bar\" <t@x.jp>"), (address_and_name{true, "t@x.jp", "foo@bar"}));
    // An empty or unfinished comment names nobody.
    EXPECT_EQ(split("t@x.jp ()"), (address_and_name{true, "t@x.jp", ""}));
    EXPECT_EQ(split("t@x.jp (Taro"), (address_and_name{false, "", ""}));
    EXPECT_EQ(split("\"Taro <t@x.jp>"), (address_and_name{false, "", ""}));
    EXPECT_EQ(split("Taro <t@x.jp"), (address_and_name{false, "", ""}));
    EXPECT_EQ(split("\""), (address_and_name{false, "", ""}));
}

TEST(SplitAddress, ShiftJisNamesAndCapacities) {
    // 0x8140 (ideographic space) and 0x8341 (katakana A) end in "@" and "A".
    EXPECT_EQ(split(sj("山田　太郎 <taro@example.jp>")), (address_and_name{true, "taro@example.jp", sj("山田　太郎")}));
    EXPECT_EQ(split(sj("\"山田　太郎\" <taro@example.jp>")), (address_and_name{true, "taro@example.jp", sj("山田　太郎")}));
    EXPECT_EQ(split(sj("taro@example.jp (ア)")), (address_and_name{true, "taro@example.jp", sj("ア")}));
    EXPECT_EQ(split(sj("アbc@x.jp")), (address_and_name{true, "bc@x.jp", ""}));
    EXPECT_EQ(split(sj("山田　")), (address_and_name{true, "", ""}));

    // capacity - 1 bytes at most; a double-byte character is never halved.
    EXPECT_EQ(split("Taro <taro@example.jp>", 5, 3), (address_and_name{true, "taro", "Ta"}));
    EXPECT_EQ(split(sj("山田太郎 <t@x.jp>"), 256, 6), (address_and_name{true, "t@x.jp", sj("山田")}));
    EXPECT_EQ(split(sj("山田太郎 <t@x.jp>"), 256, 5), (address_and_name{true, "t@x.jp", sj("山田")}));
    EXPECT_EQ(split("Ta  ro <t@x.jp>", 256, 4), (address_and_name{true, "t@x.jp", "Ta"}));
    // The room for the name never changes which address is found.
    for (std::size_t room : {0u, 1u, 2u, 4u})
        EXPECT_EQ(split("\"foo@bar\" <t@x.jp>", 256, room).address, "t@x.jp") << room;
    EXPECT_EQ(split("t@x.jp", 0, 0), (address_and_name{true, "", ""}));

    std::string address;
    EXPECT_TRUE(split_address("Taro <t@x.jp>", nullptr, 0, &address, 64));
    EXPECT_EQ(address, "t@x.jp");
    std::string name;
    EXPECT_TRUE(split_address("Taro <t@x.jp>", &name, 64, nullptr, 0));
    EXPECT_EQ(name, "Taro");
}

const std::string to_over_two_lines =
    "From: sender@example.jp\n"
    "To: first@example.jp,\n"
    " \"Yamada, Taro\" <taro@example.jp>, (Hanako) hanako@example.jp\n"
    "Subject: To: nobody@example.jp\n"
    "\n"
    "To: body@example.jp\n";

TEST(HeaderAddress, FieldsOverContinuationLines) {
    const auto& h = to_over_two_lines;
    EXPECT_EQ(header_address(h, "To", 0), (address_and_name{true, "first@example.jp", ""}));
    EXPECT_EQ(header_address(h, "to", 1), (address_and_name{true, "taro@example.jp", "Yamada, Taro"}));
    EXPECT_EQ(header_address(h, "TO", 2), (address_and_name{true, "hanako@example.jp", "Hanako"}));
    EXPECT_EQ(header_address(h, "To", 3), (address_and_name{false, "", ""}));
    EXPECT_EQ(header_address(h, "From", 0), (address_and_name{true, "sender@example.jp", ""}));
    EXPECT_EQ(header_address(h, "Cc", 0), (address_and_name{false, "", ""}));
    EXPECT_EQ(header_address(h, "To", -1), (address_and_name{false, "", ""}));

    // Addresses that begin on the next line are counted once each.
    std::string folded = "To:\n\ta@example.jp,\n , b@example.jp\n";
    EXPECT_EQ(header_address(folded, "To", 0).address, "a@example.jp");
    EXPECT_EQ(header_address(folded, "To", 1).address, "b@example.jp");
    EXPECT_FALSE(header_address(folded, "To", 2).found);

    EXPECT_FALSE(header_address("To: \"Taro <t@x.jp>\n", "To", 0).found);
    EXPECT_FALSE(header_address("To: Taro <t@x.jp, u@x.jp\n", "To", 1).found);
    EXPECT_FALSE(header_address("To t@x.jp\n", "To", 0).found);
    // A continuation line after another field is not the field's.
    EXPECT_FALSE(header_address("To: a@x.jp\nCc: c@x.jp\n d@x.jp\n", "To", 1).found);
}

TEST(HeaderAddress, FileAndTextFormsAgreeOnLongLines) {
    std::string pad(1500, 'x');
    std::vector<std::string> headers = {
        to_over_two_lines,
        "Subject: " + pad + "\nTo: a@x.jp, b@x.jp\n",
        // A line of exactly 1000 characters: its line feed is no blank line.
        "X-Long: " + std::string(992, 'y') + "\nTo: a@x.jp\n",
        // A field line cut into pieces: the pieces after the first are lines
        // of their own, and one that begins with a space continues the field.
        "To: a@x.jp, " + std::string(989, 'c') + " b@x.jp, d@x.jp\n",
        "To: a@x.jp," + std::string(990, ' ') + "b@x.jp\n",
        std::string(5000, 'z') + "\nTo: q@x.jp\n\nTo: r@x.jp\n",
        sj("To: \"山田　太郎\" <t@x.jp>\n"),
    };
    std::vector<std::vector<std::string>> expected = {
        {"first@example.jp", "taro@example.jp", "hanako@example.jp"},
        {"a@x.jp", "b@x.jp"},
        {"a@x.jp"},
        {"a@x.jp"},
        {"a@x.jp", "b@x.jp"},
        {"q@x.jp"},
        {"t@x.jp"},
    };
    temp_dir dir;
    for (std::size_t i = 0; i < headers.size(); ++i) {
        std::string crlf;
        for (char c : headers[i]) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        write_bytes(dir / "0", crlf);
        std::vector<std::string> found;
        for (int index = 0; index < 5; ++index) {
            address_and_name in_memory = header_address(headers[i], "To", index);
            address_and_name from_file;
            from_file.found = get_header_address(dir.cp("0"), "To", index, from_file.address, 256, from_file.name, 128);
            EXPECT_EQ(from_file, in_memory) << i << " " << index;
            if (in_memory.found) found.push_back(in_memory.address);
        }
        EXPECT_EQ(found, expected[i]) << i;
    }
    std::string address, name;
    EXPECT_FALSE(get_header_address(dir.cp("missing"), "To", 0, address, 256, name, 128));
}

TEST(HeaderAddress, GarbageNeverOverruns) {
    std::mt19937 rng(1689);
    const std::string alphabet = "\"()<>,@. \t\nab:To\x81\x40\xe0";
    for (int round = 0; round < 20000; ++round) {
        std::string text = round % 2 ? "To: " : "";
        std::size_t length = rng() % 48;
        for (std::size_t i = 0; i < length; ++i) text += alphabet[rng() % alphabet.size()];
        std::size_t end = find_address_end(text, rng() % (text.size() + 2));
        EXPECT_TRUE(end == npos || end <= text.size());
        address_and_name item = split(text, 1 + rng() % 8, rng() % 8);
        EXPECT_LE(item.address.size(), 7u);
        EXPECT_LE(item.name.size(), 6u);
        address_and_name field = header_address(text, "to", static_cast<int>(rng() % 4));
        EXPECT_TRUE(field.found || field.address.empty());
    }
}

}  // namespace
}  // namespace qm
