#include <tuple>

#include "support/test_support.h"
#include "text/mailto.h"

namespace qm::test {
namespace {

using strings = std::vector<std::string>;

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
        {"mailto:?subject=%41%62c%2B%26%3D%25%3f", {}, {}, "Abc+&=%?", ""},
        {"mailto:%61%40example%2Ecom", {"a@example.com"}, {}, "", ""},
        {"mailto:a+tag@example.com?subject=1+1%20=%202", {"a+tag@example.com"}, {}, "1+1 = 2", ""},  // "+" is no space
        {"mailto:%22Doe,%20J%22%20%3Cj@example.com%3E,k@example.com", {"j@example.com", "k@example.com"}, {}, "", ""},
        // Body line ends become line feeds; a second body goes on a line of its own.
        {"mailto:?body=one%0D%0Atwo%0Athree%0Dfour%0D%0A", {}, {}, "", "one\ntwo\nthree\nfour\n"},
        {"mailto:?body=a&body=b", {}, {}, "", "a\nb"},
        // A line end would end the Subject field and start another one.
        {"mailto:?subject=Hi%0D%0ABcc:%20x@example.com", {}, {}, "Hi  Bcc: x@example.com", ""},
        {"mailto:?subject=first&subject=second", {}, {}, "first", ""},
        // Unsafe and unknown fields are not taken.
        {"mailto:a@example.com?bcc=spy@example.com&In-Reply-To=%3Cx@y%3E&&subject=s#frag", {"a@example.com"}, {}, "s", ""},
        // A character CP932 lacks is replaced and said; a question mark the text held itself is none.
        {"mailto:?subject=%F0%9F%98%80ok", {}, {}, q + "ok", "", true},
        {"mailto:?body=%EF%BC%9F%E2%91%A0", {}, {}, "", q + "\x87\x40"},
    };
    for (const auto& r : rows) {
        const mailto_link link = parsed(r.uri);
        EXPECT_EQ(std::tuple(link.to, link.cc, link.subject, link.body, link.replaced),
                  std::tuple(r.to, r.cc, r.subject, r.body, r.replaced)) << r.uri;
    }
    EXPECT_TRUE(is_mailto_uri("MAILTO:"));
    EXPECT_FALSE(is_mailto_uri("mailt") || is_mailto_uri("http://example.com/"));
}

TEST(Mailto, RefusedLinksLeaveNothing) {
    const std::pair<std::string, mailto_result> rows[] = {
        {"mailto:a@example.com?subject=100%", mailto_result::bad_escape}, {"mailto:a%4@example.com", mailto_result::bad_escape},
        {"mailto:a@example.com?subject=%G1", mailto_result::bad_escape}, {"mailto:?body=a%00b", mailto_result::bad_escape},
        {"mailto:a@example.com?x-other=%zz", mailto_result::bad_escape},
        {"mailto:?subject=%82%A0", mailto_result::bad_utf8},  // Shift_JIS, not UTF-8
        {"mailto:?body=%C0%AF", mailto_result::bad_utf8},     // an overlong "/"
        {"http://example.com/?subject=x", mailto_result::not_mailto},
        {"mailto:?body=" + std::string(mailto_length_limit, 'a'), mailto_result::not_mailto},
        {"mailto:nobody", mailto_result::bad_address}, {"mailto:%3Ca@example.com", mailto_result::bad_address},
        {"mailto:a@example.com?to=b@c@example.com", mailto_result::bad_address},
        {"mailto:a@example.com%0Ab@example.com", mailto_result::bad_address},
    };
    for (const auto& [uri, expected] : rows) {
        mailto_link link;
        link.subject = "left over";
        EXPECT_EQ(parse_mailto(uri, link), expected) << uri;
        EXPECT_TRUE(link.to.empty() && link.cc.empty() && link.subject.empty() && link.body.empty()) << uri;
    }
}

// The same subject with its escapes cut at every place a careless reader
// could trip over: the end of the text, the "&", the next escape.
TEST(Mailto, EscapesDecodedWhereverTheyStand) {
    const std::string japanese = "%E4%BC%9A%E8%AD%B0";
    for (std::size_t cut = 0; cut <= japanese.size(); ++cut) {
        mailto_link link;
        const mailto_result result =
            parse_mailto("mailto:?subject=" + japanese.substr(0, cut) + "&body=" + japanese.substr(cut), link);
        // Only cuts between whole escapes and whole characters leave a link.
        if (cut % 3 != 0) {
            EXPECT_EQ(result, mailto_result::bad_escape) << cut;
        } else if (cut != 0 && cut != 9 && cut != japanese.size()) {
            EXPECT_EQ(result, mailto_result::bad_utf8) << cut;
        } else {
            ASSERT_EQ(result, mailto_result::ok) << cut;
            EXPECT_EQ(link.subject + link.body, sj("会議")) << cut;
        }
    }
}

TEST(Mailto, SeveralRecipientsTheDialogTakesTheFirst) {
    const mailto_link link = parsed("mailto:a@example.jp,%20b@example.jp?to=c@example.jp&cc=d@example.jp,e@example.jp");
    EXPECT_EQ(std::pair(link.to, link.cc), std::pair(strings{"a@example.jp", "b@example.jp", "c@example.jp"},
                                                     strings{"d@example.jp", "e@example.jp"}));
    EXPECT_EQ(first_recipient(link) + " " + first_recipient(parsed("mailto:?cc=d@example.jp")), "a@example.jp d@example.jp");
    EXPECT_EQ(left_out_recipients(link), (strings{"b@example.jp", "c@example.jp", "d@example.jp", "e@example.jp"}));
    EXPECT_TRUE(left_out_recipients(parsed("mailto:?cc=d@example.jp")).empty() && left_out_recipients(parsed("mailto:a@example.jp")).empty());
    EXPECT_EQ(first_recipient(parsed("mailto:?subject=x")), "");
}

}  // namespace
}  // namespace qm::test
