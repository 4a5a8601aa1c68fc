#include <gtest/gtest.h>

#include <string>

#include "text/percent_encoding.h"
#include "text/quoted_printable.h"

namespace qm {
namespace {

std::string qp(std::string line) {
    qp_decode_line(line);
    return line;
}

TEST(QuotedPrintable, DecodesLines) {
    EXPECT_EQ(qp("a=3Db=\n"), "a=b");  // soft line break: no line feed
    EXPECT_EQ(qp("a=ZZ\n"), "a=ZZ\n");
    EXPECT_EQ(qp("=3D41"), "=41");     // a decoded "=" is not decoded again
    EXPECT_EQ(qp("=3d=e3=81=82\n"), "=\xe3\x81\x82\n");
    EXPECT_EQ(qp("a_b c\n"), "a_b c\n");
    EXPECT_EQ(qp("=\n"), "");
    EXPECT_EQ(qp("end="), "end=");
    EXPECT_EQ(qp("= 41\n"), "= 41\n");
    EXPECT_EQ(qp("=+1=-1=0x"), std::string("=+1=-1\0x", 8));
    // Zero bytes stay in binary data.
    EXPECT_EQ(qp("a=00b=00\n"), std::string("a\0b\0\n", 5));
    EXPECT_EQ(qp(""), "");
}

TEST(QuotedPrintable, ShortEscapesLoseNothing) {
    // One digit is read as the number; the character after it stays.
    EXPECT_EQ(qp("=4 x\n"), "\x04 x\n");
    EXPECT_EQ(qp("x=4"), "x\x04");
    EXPECT_EQ(qp("=A\n"), "\n\n");
}

TEST(PercentEncoding, EncodesAndKeepsToTheCapacity) {
    std::string out;
    EXPECT_TRUE(percent_encode(out, 8, "\x1b$B"));
    EXPECT_EQ(out, "%1B%24B");
    EXPECT_FALSE(percent_encode(out, 7, "\x1b$B"));

    EXPECT_TRUE(percent_encode(out, 100, "AZaz09 -._~'*%\"\n"));
    EXPECT_EQ(out, "AZaz09%20%2D%2E%5F%7E%27%2A%25%22%0A");
    // Bytes of 0x80 and above are one escape each.
    EXPECT_TRUE(percent_encode(out, 100, "\xe9\xff\x80"));
    EXPECT_EQ(out, "%E9%FF%80");

    EXPECT_TRUE(percent_encode(out, 1, ""));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(percent_encode(out, 0, ""));

    // The exact capacity fits, one byte less never does.
    for (std::string_view input : {"a", "\x1b", "ab\x1b", "\x1b\x1b", "x\x1b$B\x1b(B"}) {
        std::string expected;
        ASSERT_TRUE(percent_encode(expected, 1000, input));
        EXPECT_TRUE(percent_encode(out, expected.size() + 1, input)) << input;
        EXPECT_EQ(out, expected);
        EXPECT_FALSE(percent_encode(out, expected.size(), input)) << input;
        EXPECT_LE(out.size(), expected.size());
    }
}

}  // namespace
}  // namespace qm
