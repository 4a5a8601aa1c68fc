#include "text/address_list.h"
#include "text/mail_address.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

constexpr auto npos = std::string_view::npos;

struct address_and_name {
    bool found;
    std::string address, name;
    bool operator==(const address_and_name&) const = default;
};
void PrintTo(const address_and_name& r, std::ostream* os) { *os << r.found << " [" << r.address << "] [" << u8(r.name) << "]"; }

address_and_name split(std::string_view item, std::size_t capacity = 256, std::size_t name_capacity = 256) {
    address_and_name r;
    r.found = split_address(item, &r.name, name_capacity, &r.address, capacity);
    return r;
}

// The address from the header text, or from the file when one is named.
address_and_name header_address(std::string_view header, std::string_view field, int index, const std::string& file = "") {
    address_and_name r;
    r.found = file.empty() ? get_header_text_address(header, field, index, r.address, 256, r.name, 128)
                           : get_header_address(file, field, index, r.address, 256, r.name, 128);
    return r;
}

TEST(AddressChecks, AddressesAndNames) {
    EXPECT_TRUE(is_valid_address("taro.yamada@mail.example.jp"));
    for (std::string_view bad : {"taro@localhost", "a@b@c.jp", "a.b@c", "ta ro@example.jp", "taro.example.jp",
                                 "<taro@example.jp>", "ta\"ro@example.jp", "taro@example.jp\n", "", "t\x82\xa0@example.jp",
                                 "t\x7f@example.jp"})
        EXPECT_FALSE(is_valid_address(bad)) << bad;

    EXPECT_TRUE(is_valid_display_name(sj("山田　太郎")));  // 0x81 0x40: a trail byte that reads "@"
    for (char c : display_name_forbidden_chars) EXPECT_FALSE(is_valid_display_name(sj("山田") + c)) << c;
}

TEST(FindAddressEnd, CommasOutsideQuotesCommentsAndBrackets) {
    const std::pair<std::string_view, std::size_t> cases[] = {
        {"a@b.jp, c@d.jp", 6}, {"\"Yamada, Taro\" <t@x.jp>, c@d.jp", 23}, {"t@x.jp (Sales, Tokyo), c@d.jp", 21},
        {"<odd,one@x.jp>, c@d.jp", 14}, {"a@b.jp\n, c@d.jp", 6}, {"", 0},
        // ")" and ">" close whatever else is open; "(" inside brackets opens nothing.
        {"\"a)b\", c", 5}, {"<a(b>, c", 5},
        {"\"Taro <t@x.jp>, c@d.jp", npos}, {"t@x.jp (Sales, c@d.jp", npos}, {"Taro <t@x.jp, c@d.jp", npos},
    };
    for (const auto& [text, end] : cases) EXPECT_EQ(find_address_end(text, 0), end) << text;
    EXPECT_EQ(std::pair(find_address_end("a@b.jp, c@d.jp", 8), find_address_end("a@b.jp", 7)), std::pair(std::size_t(14), npos));
}

TEST(SplitAddress, TheForms) {
    const std::pair<std::string, address_and_name> cases[] = {
        {"\"Yamada, Taro\" <taro@example.jp>, x@y.jp", {true, "taro@example.jp", "Yamada, Taro"}},
        {"taro@example.jp", {true, "taro@example.jp", ""}}, {"no address here", {true, "", ""}},
        {"<taro@example.jp> (Taro )", {true, "taro@example.jp", "Taro"}}, {"Taro   <taro@example.jp>\n", {true, "taro@example.jp", "Taro"}},
        // A phrase wins over a comment, wherever the parentheses stand.
        {"\"Taro (Sales)\" <t@x.jp>", {true, "t@x.jp", "Taro (Sales)"}}, {"Taro <t@x.jp> (Sales)", {true, "t@x.jp", "Taro"}},
        {"\"foo@bar\" <t@x.jp>", {true, "t@x.jp", "foo@bar"}},
        // An empty or unfinished comment names nobody; an unfinished quote or bracket, nothing.
        {"t@x.jp ()", {true, "t@x.jp", ""}}, {"t@x.jp (Taro", {false, "", ""}}, {"\"Taro <t@x.jp>", {false, "", ""}},
        {"Taro <t@x.jp", {false, "", ""}}, {"\"", {false, "", ""}},
        // 0x8140 (ideographic space) and 0x8341 (katakana A) end in "@" and "A".
        {sj("山田　太郎 <taro@example.jp>"), {true, "taro@example.jp", sj("山田　太郎")}},
        {sj("taro@example.jp (ア)"), {true, "taro@example.jp", sj("ア")}}, {sj("アbc@x.jp"), {true, "bc@x.jp", ""}},
    };
    for (const auto& [item, expected] : cases) EXPECT_EQ(split(item), expected) << u8(item);
}

TEST(SplitAddress, Capacities) {
    // capacity - 1 bytes at most; a double-byte character is never halved.
    EXPECT_EQ(split("Taro <taro@example.jp>", 5, 3), (address_and_name{true, "taro", "Ta"}));
    for (std::size_t room : {5u, 6u}) EXPECT_EQ(split(sj("山田太郎 <t@x.jp>"), 256, room), (address_and_name{true, "t@x.jp", sj("山田")}));
    EXPECT_EQ(split("Ta  ro <t@x.jp>", 256, 4), (address_and_name{true, "t@x.jp", "Ta"}));
    // The room for the name never changes which address is found; either result may be left out.
    EXPECT_EQ(split("\"foo@bar\" <t@x.jp>", 256, 2).address + split("t@x.jp", 0, 0).address, "t@x.jp");
    std::string address, name;
    EXPECT_TRUE(split_address("Taro <t@x.jp>", nullptr, 0, &address, 64) && split_address("Taro <t@x.jp>", &name, 64, nullptr, 0));
    EXPECT_EQ(address + " " + name, "t@x.jp Taro");
}

TEST(HeaderAddress, NthAddressOfAFieldInFileAndText) {
    // Every address of the To field by index; the file form (lines of 1000 characters) agrees with the text.
    const std::string to_over_two_lines = "From: sender@example.jp\nTo: first@example.jp,\n \"Yamada, Taro\" <taro@example.jp>,"
                                          " (Hanako) hanako@example.jp\nSubject: To: nobody@example.jp\n\nTo: body@example.jp\n";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {to_over_two_lines, {"first@example.jp", "taro@example.jp Yamada, Taro", "hanako@example.jp Hanako"}},
        // Addresses that begin on the next line are counted once each.
        {"To:\n\ta@example.jp,\n , b@example.jp\n", {"a@example.jp", "b@example.jp"}},
        {"To: \"Taro <t@x.jp>\n", {}}, {"To t@x.jp\n", {}},
        // A continuation line after another field is not the field's.
        {"To: a@x.jp\nCc: c@x.jp\n d@x.jp\n", {"a@x.jp"}},
        // A line of exactly 1000 characters: its line feed is no blank line.
        {"X-Long: " + std::string(992, 'y') + "\nTo: a@x.jp\n", {"a@x.jp"}},
        // A field line cut into pieces: the pieces after the first are lines
        // of their own, and one that begins with a space continues the field.
        {"To: a@x.jp, " + std::string(989, 'c') + " b@x.jp, d@x.jp\n", {"a@x.jp"}},
        {"To: a@x.jp," + std::string(990, ' ') + "b@x.jp\n", {"a@x.jp", "b@x.jp"}},
        {std::string(5000, 'z') + "\nTo: q@x.jp\n\nTo: r@x.jp\n", {"q@x.jp"}},
        {sj("To: \"山田　太郎\" <t@x.jp>\n"), {"t@x.jp " + sj("山田　太郎")}},
    };
    temp_dir dir;
    for (const auto& [header, expected] : cases) {
        write_bytes(dir / "0", crlf(header));
        std::vector<std::string> found;
        for (int index = 0; index < 5; ++index) {
            const address_and_name in_memory = header_address(header, "to", index);
            EXPECT_EQ(header_address("", "to", index, dir.cp("0")), in_memory) << index;
            if (in_memory.found) found.push_back(in_memory.address + (in_memory.name.empty() ? "" : " " + in_memory.name));
        }
        EXPECT_EQ(found, expected) << u8(header);
    }
    // A field that is not there; a negative index; no file.
    EXPECT_FALSE(header_address(to_over_two_lines, "Cc", 0).found || header_address(to_over_two_lines, "To", -1).found ||
                 header_address("", "To", 0, dir.cp("missing")).found);
}

// "written => address" for each mailbox, UTF-8; "=> ?" for a mailbox without a usable address.
names listed(std::string_view utf8_value) {
    names out;
    for (const listed_mailbox& m : list_mailboxes(sj(utf8_value)))
        out.push_back(u8(m.written) + " => " + (m.address.empty() ? "?" : m.address));
    return out;
}

TEST(ListMailboxes, EveryFormGivesItsAddress) {
    const std::pair<std::string, names> cases[] = {
        // Commas inside quotes, comments and angle brackets separate nothing; an empty item is skipped.
        {"\"Suzuki, Ichiro\" <ichiro@example.com>,, b@example.com (x, y), <@relay.example,@r2.example:c@example.com>,",
         {"\"Suzuki, Ichiro\" <ichiro@example.com> => ichiro@example.com", "b@example.com (x, y) => b@example.com",
          "<@relay.example,@r2.example:c@example.com> => c@example.com"}},
        // "ソ" and "表" end in 0x5C, "ァ" in 0x40: in a quoted name or a comment they escape and name nothing.
        {"\"ソ表ァ\" <d@example.com>, e@example.com (ソ), ソ表ァ <f@example.com>",
         {"\"ソ表ァ\" <d@example.com> => d@example.com", "e@example.com (ソ) => e@example.com",
          "ソ表ァ <f@example.com> => f@example.com"}},
        // Groups give their members; the group's name is nobody.
        {"Team: a@example.com, \"B\" <b@example.com>; c@example.com",
         {"a@example.com => a@example.com", "\"B\" <b@example.com> => b@example.com", "c@example.com => c@example.com"}},
        // Quoted local parts, mobile-carrier dots and domain literals are addresses.
        {"\"taro yamada\"@example.com, taro..@docomo.ne.jp, x@[192.0.2.1]",
         {"\"taro yamada\"@example.com => \"taro yamada\"@example.com", "taro..@docomo.ne.jp => taro..@docomo.ne.jp",
          "x@[192.0.2.1] => x@[192.0.2.1]"}},
        // Whatever names no address is kept, so that the caller can name it.
        {"taro@example.com 様, (only a comment)", {"taro@example.com 様 => ?", "(only a comment) => ?"}},
        // An open quote or angle bracket swallows the rest: one mailbox, and no address taken from it.
        {"\"Taro <t@example.com>, u@example.com", {"\"Taro <t@example.com>, u@example.com => ?"}},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(listed(value), expected) << value;
    // A stray lead byte takes no comma as its second byte.
    const std::vector<listed_mailbox> stray = list_mailboxes("a@example.com\x82, b@example.com");
    EXPECT_TRUE(stray.size() == 2 && stray[1].address == "b@example.com");
}

TEST(ListMailboxes, EnvelopeAddresses) {
    for (std::string_view good : {"a@b", "first.last+tag@example.co.jp", "\"a\\\"b c\"@example.com", "x@[::1]"})
        EXPECT_TRUE(is_envelope_address(good)) << good;
    for (std::string_view bad : {"", "@example.com", "taro@", "taro", "ta ro@example.com", "t<a>@example.com",
                                 "taro@example.com\r\nRCPT TO:<x@y>", "t\x82\xa0@example.jp", "\"unclosed@example.com", "taro@[a]b]"})
        EXPECT_FALSE(is_envelope_address(bad)) << bad;
}

}  // namespace
}  // namespace qm::test
