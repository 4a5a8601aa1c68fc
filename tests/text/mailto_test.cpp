#include <gtest/gtest.h>

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

mailto_result refusal(std::string_view uri) {
    mailto_link link;
    link.subject = "left over";
    const mailto_result result = parse_mailto(uri, link);
    EXPECT_TRUE(link.to.empty() && link.cc.empty() && link.subject.empty() && link.body.empty()) << uri;
    return result;
}

TEST(Mailto, JapaneseSubjectAndAddressFromTheDesktop) {
    const mailto_link link = parsed("mailto:a@example.jp?subject=%E4%BC%9A%E8%AD%B0");
    EXPECT_EQ(link.to, strings{"a@example.jp"});
    EXPECT_EQ(link.subject, "\x89\xEF\x8B\x63");  // 会議 in CP932
    EXPECT_EQ(link.subject, sj("会議"));
    EXPECT_TRUE(link.body.empty());
    EXPECT_FALSE(link.replaced);
    EXPECT_EQ(first_recipient(link), "a@example.jp");
    EXPECT_TRUE(left_out_recipients(link).empty());
}

TEST(Mailto, SchemeAndFieldNamesInAnyCase) {
    const mailto_link link = parsed("MailTo:x@example.com?SUBJECT=Hi&Body=there&tO=y@example.com&CC=z@example.com");
    EXPECT_EQ(link.to, (strings{"x@example.com", "y@example.com"}));
    EXPECT_EQ(link.cc, strings{"z@example.com"});
    EXPECT_EQ(link.subject, "Hi");
    EXPECT_EQ(link.body, "there");
    EXPECT_TRUE(is_mailto_uri("MAILTO:"));
    EXPECT_FALSE(is_mailto_uri("mailt"));
    EXPECT_FALSE(is_mailto_uri("http://example.com/"));
}

// The same subject with its escapes cut at every place a careless reader
// could trip over: the end of the text, the "&", the next escape.
TEST(Mailto, EscapesDecodedWhereverTheyStand) {
    const std::string japanese = "%E4%BC%9A%E8%AD%B0";
    for (std::size_t cut = 0; cut <= japanese.size(); ++cut) {
        const std::string subject = japanese.substr(0, cut);
        mailto_link link;
        const mailto_result result = parse_mailto("mailto:?subject=" + subject + "&body=" + japanese.substr(cut), link);
        // Only cuts between whole escapes and whole characters leave a link.
        const bool whole_escape = cut % 3 == 0;
        const bool whole_character = cut == 0 || cut == 9 || cut == japanese.size();
        if (!whole_escape) {
            EXPECT_EQ(result, mailto_result::bad_escape) << cut;
        } else if (!whole_character) {
            EXPECT_EQ(result, mailto_result::bad_utf8) << cut;
        } else {
            ASSERT_EQ(result, mailto_result::ok) << cut;
            EXPECT_EQ(link.subject + link.body, sj("会議")) << cut;
        }
    }
    EXPECT_EQ(parsed("mailto:?subject=%41%62c%2B%26%3D%25%3f").subject, "Abc+&=%?");
    EXPECT_EQ(parsed("mailto:%61%40example%2Ecom").to, strings{"a@example.com"});
}

TEST(Mailto, PlusIsNotASpaceAndSpacesAreEscaped) {
    const mailto_link link = parsed("mailto:a+tag@example.com?subject=1+1%20=%202");
    EXPECT_EQ(link.to, strings{"a+tag@example.com"});
    EXPECT_EQ(link.subject, "1+1 = 2");
}

TEST(Mailto, BrokenEscapesRefuseTheWholeLink) {
    EXPECT_EQ(refusal("mailto:a@example.com?subject=100%"), mailto_result::bad_escape);
    EXPECT_EQ(refusal("mailto:a@example.com?subject=%4"), mailto_result::bad_escape);
    EXPECT_EQ(refusal("mailto:a@example.com?subject=%G1"), mailto_result::bad_escape);
    EXPECT_EQ(refusal("mailto:a@example.com?body=a%00b"), mailto_result::bad_escape);
    EXPECT_EQ(refusal("mailto:a%4@example.com"), mailto_result::bad_escape);
    EXPECT_EQ(refusal("mailto:a@example.com?x-other=%zz"), mailto_result::bad_escape);
    EXPECT_EQ(refusal("mailto:?subject=%82%A0"), mailto_result::bad_utf8);  // Shift_JIS, not UTF-8
    EXPECT_EQ(refusal("mailto:?body=%C0%AF"), mailto_result::bad_utf8);     // an overlong "/"
    EXPECT_EQ(refusal("http://example.com/?subject=x"), mailto_result::not_mailto);
    EXPECT_EQ(refusal("mailto:?body=" + std::string(mailto_length_limit, 'a')), mailto_result::not_mailto);
}

TEST(Mailto, SeveralRecipientsTheDialogTakesTheFirst) {
    const mailto_link link =
        parsed("mailto:a@example.jp,%20b@example.jp?to=c@example.jp&cc=d@example.jp,e@example.jp");
    EXPECT_EQ(link.to, (strings{"a@example.jp", "b@example.jp", "c@example.jp"}));
    EXPECT_EQ(link.cc, (strings{"d@example.jp", "e@example.jp"}));
    EXPECT_EQ(first_recipient(link), "a@example.jp");
    EXPECT_EQ(left_out_recipients(link), (strings{"b@example.jp", "c@example.jp", "d@example.jp", "e@example.jp"}));

    const mailto_link only_cc = parsed("mailto:?cc=d@example.jp");
    EXPECT_EQ(first_recipient(only_cc), "d@example.jp");
    EXPECT_TRUE(left_out_recipients(only_cc).empty());
    EXPECT_EQ(first_recipient(parsed("mailto:?subject=x")), "");
    EXPECT_EQ(first_recipient(parsed("mailto:")), "");
}

TEST(Mailto, NamedAddressesGiveTheirAddress) {
    EXPECT_EQ(parsed("mailto:%22Doe,%20J%22%20%3Cj@example.com%3E,k@example.com").to,
              (strings{"j@example.com", "k@example.com"}));
    EXPECT_EQ(parsed("mailto:%E5%B1%B1%E7%94%B0%20%3Cy@example.jp%3E").to, strings{"y@example.jp"});
}

TEST(Mailto, AddressesThatAreNoAddressesAreRefused) {
    EXPECT_EQ(refusal("mailto:nobody"), mailto_result::bad_address);
    EXPECT_EQ(refusal("mailto:a@example.com?to=b@c@example.com"), mailto_result::bad_address);
    EXPECT_EQ(refusal("mailto:a@example.com%0Ab@example.com"), mailto_result::bad_address);
    EXPECT_EQ(refusal("mailto:%E5%B1%B1@example.jp"), mailto_result::bad_address);
    EXPECT_EQ(refusal("mailto:%3Ca@example.com"), mailto_result::bad_address);
}

TEST(Mailto, BodyLineEndsBecomeLineFeeds) {
    EXPECT_EQ(parsed("mailto:?body=one%0D%0Atwo%0Athree%0Dfour%0D%0A").body, "one\ntwo\nthree\nfour\n");
    // A second body goes on a line of its own; nothing is dropped.
    EXPECT_EQ(parsed("mailto:?body=a&body=b").body, "a\nb");
}

TEST(Mailto, SubjectStaysOneHeaderLine) {
    // A line end would end the Subject field and start another one.
    EXPECT_EQ(parsed("mailto:?subject=Hi%0D%0ABcc:%20x@example.com").subject, "Hi  Bcc: x@example.com");
    EXPECT_EQ(parsed("mailto:?subject=first&subject=second").subject, "first");
}

TEST(Mailto, UnsafeAndUnknownFieldsAreNotTaken) {
    const mailto_link link = parsed("mailto:a@example.com?bcc=spy@example.com&In-Reply-To=%3Cx@y%3E&&subject=s#frag");
    EXPECT_EQ(link.to, strings{"a@example.com"});
    EXPECT_TRUE(link.cc.empty());
    EXPECT_EQ(link.subject, "s");
    EXPECT_EQ(left_out_recipients(link), strings{});
}

TEST(Mailto, CharactersCp932LacksAreReplacedAndSaid) {
    const mailto_link emoji = parsed("mailto:?subject=%F0%9F%98%80ok");  // U+1F600
    EXPECT_EQ(emoji.subject, "\x81\x48ok");
    EXPECT_TRUE(emoji.replaced);
    // A question mark the text held itself is no replacement.
    const mailto_link question = parsed("mailto:?body=%EF%BC%9F%E2%91%A0");  // ？① (NEC row 13)
    EXPECT_EQ(question.body, "\x81\x48\x87\x40");
    EXPECT_FALSE(question.replaced);
}

}  // namespace
}  // namespace qm::test
