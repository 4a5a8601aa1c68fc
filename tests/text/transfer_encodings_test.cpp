#include <filesystem>
#include <optional>
#include <random>

#include "text/base64.h"
#include "text/percent_encoding.h"
#include "text/quoted_printable.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

TEST(Base64, Groups) {
    for (auto [bytes, text] : {std::pair{"M", "TQ=="}, {"Ma", "TWE="}, {"Many", "TWFu"}, {"", ""}, {"\xff\xfe\xfd", "//79"}})
        EXPECT_EQ(base64_encode_group(bytes), text) << text;
    EXPECT_EQ(base64_encode_text("ManMa"), "TWFuTWE=");
    EXPECT_EQ(base64_encode_text(std::string("\0user\0pass", 10)), "AHVzZXIAcGFzcw==");  // AUTH PLAIN credentials

    for (auto [c, value] : {std::pair{'A', 0}, {'z', 51}, {'+', 62}, {'/', 63}}) EXPECT_EQ(base64_value(c), value) << c;
    for (char c : {'=', '-', '_', '\0', '\n', '\x80', '\xff'}) EXPECT_EQ(base64_value(c), -1) << int(c);
    std::string out = "x";
    // The fourth place is not read after a pad.
    for (auto [group, size] : {std::pair{"TQ==", 1}, {"TWE=", 2}, {"TWFu", 3}, {"TQ=X", 1}, {"TQ=", 1}})
        EXPECT_EQ(base64_decode_group(group, out), size) << group;
    // Invalid groups append nothing, even where the first bytes were valid.
    for (std::string_view bad : {"=QQQ", "Q=QQ", "==QQ", "TW@u", "TWF@", "TWF", "TW", "", "TW\nu"})
        EXPECT_EQ(base64_decode_group(bad, out), -1) << bad;
    EXPECT_EQ(out, "xMMaManMM");
}

class Base64PartFile : public ::testing::Test {
protected:
    // Writes part file "1" (CR LF line ends) and decodes it into "out".
    std::optional<std::string> decode(std::string_view part) {
        write_bytes(dir / "1", crlf(part));
        if (!base64_decode_part_file(dir.cp("out"), dir.cp("1"))) return std::nullopt;
        return read_bytes(dir / "out");
    }
    temp_dir dir;
};

const std::string part_header = "Content-Type: application/octet-stream; name=\"a.bin\"\n"
                                "Content-Transfer-Encoding: base64\n\n";

TEST_F(Base64PartFile, RandomBytesInLinesOfEveryLength) {
    // Bodies ending in each form of group; as a single line each is longer
    // than the pieces the decoder reads, which then cut groups.
    std::mt19937 rng(7);
    for (std::size_t size : {60000u, 60001u, 60002u}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        std::string encoded = base64_encode_text(bytes);
        ASSERT_EQ(encoded.size(), (size + 2) / 3 * 4);
        for (std::size_t length : {4u, 7u, 60u, 76u, 1000u, 1u << 20}) {
            std::string lines;
            for (std::size_t pos = 0; pos < encoded.size(); pos += length) lines += encoded.substr(pos, length) + "\n";
            EXPECT_EQ(decode(part_header + lines), bytes) << size << " " << length;
        }
    }
    EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "out"}));
}

TEST_F(Base64PartFile, DecodesUpToTheFirstPad) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"TWFu\nTWE=\n", "ManMa"}, {"TWFu\nTQ==\n", "ManM"}, {"", ""},
        {"TWFuTQ=\n", "ManM"},              // the group ends at its pad
        {"TWE=TWFu\n--boundary--\n", "Ma"},  // nothing after the pad is read
        {"TW\nFu\n\nTW\nE=", "ManMa"},       // line breaks anywhere, no final one
        {"TWFu TW\tFu \r\n\tTWE=\n", "ManManMa"},  // blanks and tabs too (RFC 2045)
    };
    for (const auto& [body, bytes] : cases) EXPECT_EQ(decode(part_header + std::string(body)), bytes) << body;
    // A header that never ends leaves an empty body.
    EXPECT_EQ(decode("Content-Type: application/octet-stream\n"), "");
    // Header lines around the 255-character piece size: the rest of a long
    // line is never taken for the blank line that ends the header.
    for (std::size_t length : {253u, 254u, 255u, 256u, 510u, 511u, 900u})
        EXPECT_EQ(decode("X: " + std::string(length - 3, 'n') + "\n" + part_header + "TWFu\n"), "Man") << length;
}

TEST_F(Base64PartFile, FailureLeavesNoOutput) {
    // A Ctrl-Z is no end of the part: it is a character outside the alphabet.
    for (std::string_view body : {"TWFuTW\n", "TWFu\nT\n", "TW@u\n", "TWFu\x1aTWFu\n", "T===\n", "=TWF\n", "TWFu\n====\n"}) {
        EXPECT_EQ(decode(part_header + std::string(body)), std::nullopt) << body;
        EXPECT_EQ(list_names(dir.path()), std::vector<std::string>{"1"}) << body;
    }
    // A file already at the output path stays as it was.
    write_bytes(dir / "out", "old");
    EXPECT_FALSE(base64_decode_part_file(dir.cp("out"), dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "out"), "old");
    EXPECT_FALSE(base64_decode_part_file(dir.cp("new"), dir.cp("missing")));
    EXPECT_FALSE(exists(dir / "new"));

    // Outputs that cannot be written: the parent is a regular file; a directory stands there.
    write_bytes(dir / "1", crlf(part_header + "TWFu\n"));
    std::filesystem::remove(dir / "out");
    EXPECT_FALSE(base64_decode_part_file(dir.cp("1/out"), dir.cp("1")));
    std::filesystem::create_directory(dir / "out");
    EXPECT_FALSE(base64_decode_part_file(dir.cp("out"), dir.cp("1")));
    EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "out"}));
    EXPECT_TRUE(list_names(dir / "out").empty());
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
    EXPECT_EQ(qp_decode_text(""), "");
    EXPECT_EQ(qp_decode_text("=\n=\n"), "");
}

TEST(PercentEncoding, EncodesAndKeepsToTheCapacity) {
    std::string out;
    // Bytes of 0x80 and above are one escape each.
    EXPECT_TRUE(percent_encode(out, 100, "AZaz09 -._~'*%\"\n\x1b$B\xe9\xff\x80"));
    EXPECT_EQ(out, "AZaz09%20%2D%2E%5F%7E%27%2A%25%22%0A%1B%24B%E9%FF%80");
    // The exact capacity fits, one byte less never does.
    for (std::string_view input : {"", "a", "\x1b", "ab\x1b", "\x1b\x1b", "x\x1b$B\x1b(B"}) {
        std::string expected;
        ASSERT_TRUE(percent_encode(expected, 1000, input));
        EXPECT_TRUE(percent_encode(out, expected.size() + 1, input)) << input;
        EXPECT_EQ(out, expected);
        EXPECT_FALSE(percent_encode(out, expected.size(), input)) << input;
        EXPECT_LE(out.size(), expected.size());
    }
}

}  // namespace
}  // namespace qm::test
