#include "text/address_list.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

// "written => address" for each mailbox, UTF-8; "=> ?" for a mailbox without a usable address.
names listed(std::string_view utf8_value) {
    names out;
    for (const listed_mailbox& m : list_mailboxes(sj(utf8_value)))
        out.push_back(u8(m.written) + " => " + (m.address.empty() ? "?" : m.address));
    return out;
}

TEST(ListMailboxes, EveryFormGivesItsAddress) {
    const std::pair<std::string, names> cases[] = {
        // The form written for address-book entries; the comment's blank and kanji are no part of the address.
        {" taro@example.com (鈴木 一郎)", {"taro@example.com (鈴木 一郎) => taro@example.com"}},
        // Commas inside quotes, comments and angle brackets separate nothing; an empty item is skipped.
        {"\"Suzuki, Ichiro\" <ichiro@example.com>,, b@example.com (x, y), <@relay.example,@r2.example:c@example.com>,",
         {"\"Suzuki, Ichiro\" <ichiro@example.com> => ichiro@example.com", "b@example.com (x, y) => b@example.com",
          "<@relay.example,@r2.example:c@example.com> => c@example.com"}},
        // "ソ" and "表" end in 0x5C, "ァ" in 0x40: in a quoted name or a comment they escape and name nothing.
        {"\"ソ表ァ\" <d@example.com>, e@example.com (ソ), ソ表ァ <f@example.com>",
         {"\"ソ表ァ\" <d@example.com> => d@example.com", "e@example.com (ソ) => e@example.com",
          "ソ表ァ <f@example.com> => f@example.com"}},
        // Groups give their members; the group's name is nobody.
        {"undisclosed-recipients:;", {}},
        {"Team: a@example.com, \"B\" <b@example.com>; c@example.com",
         {"a@example.com => a@example.com", "\"B\" <b@example.com> => b@example.com", "c@example.com => c@example.com"}},
        // Quoted local parts, mobile-carrier dots and domain literals are addresses.
        {"\"taro yamada\"@example.com, taro..@docomo.ne.jp, x@[192.0.2.1]",
         {"\"taro yamada\"@example.com => \"taro yamada\"@example.com", "taro..@docomo.ne.jp => taro..@docomo.ne.jp",
          "x@[192.0.2.1] => x@[192.0.2.1]"}},
        // Whatever names no address is kept, so that the caller can name it.
        {"鈴木, undisclosed-recipients, taro@example.com 様, (only a comment), ｔａｒｏ＠example.com",
         {"鈴木 => ?", "undisclosed-recipients => ?", "taro@example.com 様 => ?", "(only a comment) => ?",
          "ｔａｒｏ＠example.com => ?"}},
        // An open quote or angle bracket swallows the rest: one mailbox, and no address taken from it.
        {"\"Taro <t@example.com>, u@example.com", {"\"Taro <t@example.com>, u@example.com => ?"}},
        {"<a@example.com, u@example.com", {"<a@example.com, u@example.com => ?"}},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(listed(value), expected) << value;
}

TEST(ListMailboxes, EnvelopeAddresses) {
    for (std::string_view good : {"a@b", "first.last+tag@example.co.jp", "\"a\\\"b c\"@example.com", "x@[::1]"})
        EXPECT_TRUE(is_envelope_address(good)) << good;
    for (std::string_view bad : {"", "@example.com", "taro@", "taro", "ta ro@example.com", "taro@exa mple.com",
                                 "t<a>@example.com", "taro@example.com\r\nRCPT TO:<x@y>", "t\x82\xa0@example.jp",
                                 "\"unclosed@example.com", "a@b@c\"", "taro@[a]b]"})
        EXPECT_FALSE(is_envelope_address(bad)) << bad;
}

}  // namespace
}  // namespace qm::test
