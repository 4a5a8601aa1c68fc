#include <tuple>

#include "support/test_support.h"
#include "text/mailto.h"

namespace qm::test {
namespace {

using strings = std::vector<std::string>;

auto fields(const mailto_link& link) { return std::tuple(link.to, link.cc, link.subject, link.body, link.replaced); }

mailto_link parsed(std::string_view uri) {
    mailto_link link;
    EXPECT_EQ(parse_mailto(uri, link), mailto_result::ok) << uri;
    return link;
}

TEST(Mailto, AcceptedLinksGiveTheirFields) {
    const struct { std::string uri; strings to, cc; std::string subject, body; bool replaced = false; } rows[] = {
        {"mailto:a@example.jp?subject=%E4%BC%9A%E8%AD%B0", {"a@example.jp"}, {}, sj("会議"), ""},
        // Scheme and field names in any case; repeated "to" fields add up.
        {"MailTo:x@example.com?SUBJECT=Hi&Body=there&tO=y@example.com&CC=z@example.com",
         {"x@example.com", "y@example.com"}, {"z@example.com"}, "Hi", "there"},
        {"mailto:a+tag@example.com?subject=1+1%20=%202", {"a+tag@example.com"}, {}, "1+1 = 2", ""},  // "+" is no space
        {"mailto:%22Doe,%20J%22%20%3Cj@example.com%3E,k@example.com", {"j@example.com", "k@example.com"}, {}, "", ""},
        // Body line ends become line feeds.
        {"mailto:?body=one%0D%0Atwo%0Athree%0Dfour%0D%0A", {}, {}, "", "one\ntwo\nthree\nfour\n"},
        // A line end would end the Subject field and start another one.
        {"mailto:?subject=Hi%0D%0ABcc:%20x@example.com", {}, {}, "Hi  Bcc: x@example.com", ""},
        // Unsafe and unknown fields are not taken.
        {"mailto:a@example.com?bcc=spy@example.com&In-Reply-To=%3Cx@y%3E&&subject=s#frag", {"a@example.com"}, {}, "s", ""},
        // A character CP932 lacks is replaced and said; a question mark the text held itself is none.
        {"mailto:?subject=%F0%9F%98%80ok", {}, {}, q + "ok", "", true},
        {"mailto:?body=%EF%BC%9F%E2%91%A0", {}, {}, "", q + "\x87\x40"},
    };
    for (const auto& r : rows) EXPECT_EQ(fields(parsed(r.uri)), std::tuple(r.to, r.cc, r.subject, r.body, r.replaced)) << r.uri;
}

TEST(Mailto, RefusedLinksLeaveNothing) {
    using enum mailto_result;
    const std::pair<std::string, mailto_result> rows[] = {
        {"mailto:a@example.com?subject=100%", bad_escape}, {"mailto:a%4@example.com", bad_escape},
        {"mailto:a@example.com?subject=%G1", bad_escape}, {"mailto:?body=a%00b", bad_escape},
        {"mailto:a@example.com?x-other=%zz", bad_escape}, {"mailto:?subject=%E&body=4", bad_escape},
        // A character cut at the "&"; an overlong "/".
        {"mailto:?subject=%E4%BC&body=%9A", bad_utf8}, {"mailto:?body=%C0%AF", bad_utf8},
        {"http://example.com/?subject=x", not_mailto}, {"mailto:?body=" + std::string(mailto_length_limit, 'a'), not_mailto},
        {"mailto:nobody", bad_address}, {"mailto:%3Ca@example.com", bad_address},
        {"mailto:a@example.com?to=b@c@example.com", bad_address}, {"mailto:a@example.com%0Ab@example.com", bad_address},
    };
    for (const auto& [uri, expected] : rows) {
        mailto_link link{{}, {}, "left over", "", false};
        EXPECT_EQ(parse_mailto(uri, link), expected) << uri;
        EXPECT_TRUE(link.to.empty() && link.cc.empty() && link.subject.empty() && link.body.empty()) << uri;
    }
}

TEST(Mailto, SeveralRecipientsTheDialogTakesTheFirst) {
    const mailto_link link = parsed("mailto:a@example.jp,%20b@example.jp?to=c@example.jp&cc=d@example.jp");
    EXPECT_EQ(first_recipient(link) + " " + first_recipient(parsed("mailto:?cc=d@example.jp")), "a@example.jp d@example.jp");
    EXPECT_EQ(left_out_recipients(link), (strings{"b@example.jp", "c@example.jp", "d@example.jp"}));
    EXPECT_TRUE(left_out_recipients(parsed("mailto:?cc=d@example.jp")).empty() && first_recipient(parsed("mailto:?x=1")).empty());
    EXPECT_TRUE(is_mailto_uri("MAILTO:") && !is_mailto_uri("mailt"));
}

}  // namespace
}  // namespace qm::test
