#include "text/base64.h"
#include "text/percent_encoding.h"
#include "text/quoted_printable.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

TEST(Base64, Groups) {
    for (auto [bytes, text] : {std::pair<std::string, std::string>{"M", "TQ=="}, {"Ma", "TWE="}, {"ManMa", "TWFuTWE="}, {"", ""},
                               {"\xff\xfe\xfd", "//79"}, {std::string("\0user\0pass", 10), "AHVzZXIAcGFzcw=="}})
        EXPECT_EQ(base64_encode_text(bytes), text) << text;
    // Whole groups; the fourth place is not read after a pad.
    std::string out = "x";
    for (auto [group, size] : {std::pair{"AAAA", 3}, {"zzzz", 3}, {"++//", 3}, {"TQ==", 1}, {"TWE=", 2}, {"TQ=X", 1}, {"TQ=", 1}})
        EXPECT_EQ(base64_decode_group(group, out), size) << group;
    // Every character outside the alphabet makes a group invalid; invalid groups append nothing, even
    // where the first bytes were valid.
    for (char c : {'-', '_', '\0', '\n', '\x80', '\xff'}) EXPECT_EQ(base64_decode_group(std::string("TW") + c + "u", out), -1) << int(c);
    for (std::string_view bad : {"=QQQ", "Q=QQ", "==QQ", "TW@u", "TWF@", "TWF", "TW", "", "TW\nu"})
        EXPECT_EQ(base64_decode_group(bad, out), -1) << bad;
    EXPECT_EQ(out, std::string("x\0\0\0\xcf\x3c\xf3\xfb\xef\xffMMaMM", 15));
}

TEST(QuotedPrintable, DecodesLinesAndWholeBodies) {
    const std::pair<std::string, std::string> cases[] = {
        {"a=3Db=\n", "a=b"}, {"=\n", ""},  // soft line breaks: no line feed
        {"=3D41", "=41"},  // a decoded "=" is not decoded again
        {"=3d=e3=81=82\n", "=\xe3\x81\x82\n"}, {"a=ZZ\n", "a=ZZ\n"}, {"a_b c\n", "a_b c\n"}, {"end=", "end="},
        {"= 41\n", "= 41\n"}, {"=+1=-1=0x", std::string("=+1=-1\0x", 8)}, {"", ""},
        {"a=00b=00\n", std::string("a\0b\0\n", 5)},  // zero bytes stay in binary data
        // One hex digit is read as the number; the character after it stays.
        {"=4 x\n", "\x04 x\n"}, {"x=4", "x\x04"}, {"=A\n", "\n\n"},
    };
    for (const auto& [line, decoded] : cases) EXPECT_EQ(applied(qp_decode_line, line), decoded) << line;

    // Soft breaks join lines before they are decoded (a shift state goes on across them); hard ones take
    // the line end asked for, while a line feed the text encodes stays one; a "=" at the very end is a
    // soft break.
    const std::string body = "a=3D=\n=1B$B=\nF|\nx=0Ay=0D=0A\n\nend=";
    EXPECT_EQ(qp_decode_text(body), "a=\x1b$BF|\nx\ny\r\n\n\nend");
    EXPECT_EQ(qp_decode_text(body, "\r\n"), "a=\x1b$BF|\r\nx\ny\r\n\r\n\r\nend");
    EXPECT_EQ(qp_decode_text("") + qp_decode_text("=\n=\n"), "");
}

TEST(PercentEncoding, EncodesAndKeepsToTheCapacity) {
    std::string out;
    // Bytes of 0x80 and above are one escape each.
    EXPECT_TRUE(percent_encode(out, 100, "AZaz09 -._~'*%\"\n\x1b$B\xe9\xff\x80") &&
                out == "AZaz09%20%2D%2E%5F%7E%27%2A%25%22%0A%1B%24B%E9%FF%80") << out;
    // The exact capacity fits, one byte less never does.
    for (std::string_view input : {"", "a", "\x1b", "ab\x1b", "\x1b\x1b", "x\x1b$B\x1b(B"}) {
        std::string expected;
        ASSERT_TRUE(percent_encode(expected, 1000, input));
        EXPECT_TRUE(percent_encode(out, expected.size() + 1, input) && out == expected) << input;
        EXPECT_TRUE(!percent_encode(out, expected.size(), input) && out.size() <= expected.size()) << input;
    }
}

}  // namespace
}  // namespace qm::test
