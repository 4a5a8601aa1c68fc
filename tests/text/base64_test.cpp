#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "text/base64.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::list_names;
using test::read_bytes;
using test::temp_dir;
using test::write_bytes;

std::string random_bytes(std::mt19937& rng, std::size_t size) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(byte(rng));
    return bytes;
}

TEST(Base64Encode, GroupsAndTexts) {
    EXPECT_EQ(base64_encode_group("M"), "TQ==");
    EXPECT_EQ(base64_encode_group("Ma"), "TWE=");
    EXPECT_EQ(base64_encode_group("Man"), "TWFu");
    EXPECT_EQ(base64_encode_group("Many"), "TWFu");
    EXPECT_EQ(base64_encode_group(""), "");
    EXPECT_EQ(base64_encode_group("\xff\xfe\xfd"), "//79");

    EXPECT_EQ(base64_encode_text(""), "");
    EXPECT_EQ(base64_encode_text("ManMa"), "TWFuTWE=");
    // AUTH PLAIN credentials hold zero bytes.
    EXPECT_EQ(base64_encode_text(std::string("\0user\0pass", 10)), "AHVzZXIAcGFzcw==");
    EXPECT_EQ(base64_encode_text(std::string("\x1b$B", 3)), "GyRC");
}

TEST(Base64Decode, Groups) {
    EXPECT_EQ(base64_value('A'), 0);
    EXPECT_EQ(base64_value('z'), 51);
    EXPECT_EQ(base64_value('+'), 62);
    EXPECT_EQ(base64_value('/'), 63);
    for (char c : {'=', '-', '_', '\0', '\n', '\x80', '\xff'}) EXPECT_EQ(base64_value(c), -1) << int(c);

    std::string out = "x";
    EXPECT_EQ(base64_decode_group("TQ==", out), 1);
    EXPECT_EQ(base64_decode_group("TWE=", out), 2);
    EXPECT_EQ(base64_decode_group("TWFu", out), 3);
    EXPECT_EQ(base64_decode_group("TQ=X", out), 1);  // the fourth place is not read after a pad
    EXPECT_EQ(base64_decode_group("TQ=", out), 1);
    EXPECT_EQ(out, "xMMaManMM");

    // Invalid groups append nothing, even where the first bytes were valid.
    for (std::string_view bad : {"=QQQ", "Q=QQ", "==QQ", "TW@u", "TWF@", "TWF", "TW", "", "TW\nu"}) {
        EXPECT_EQ(base64_decode_group(bad, out), -1) << bad;
    }
    EXPECT_EQ(out, "xMMaManMM");
}

TEST(Base64, RandomBytesRoundTrip) {
    std::mt19937 rng(20240517);
    for (std::size_t size = 0; size < 400; size += 1 + size / 16) {
        std::string bytes = random_bytes(rng, size);
        std::string text = base64_encode_text(bytes);
        ASSERT_EQ(text.size(), (size + 2) / 3 * 4);
        ASSERT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        std::string back;
        for (std::size_t pos = 0; pos < text.size(); pos += 4) ASSERT_GT(base64_decode_group(text.substr(pos, 4), back), 0);
        ASSERT_EQ(back, bytes) << "size " << size;
    }
}

constexpr std::string_view part_header =
    "Content-Type: application/octet-stream; name=\"a.bin\"\n"
    "Content-Transfer-Encoding: base64\n"
    "\n";

// A part file as the store holds it: CR LF line ends.
std::string part_file(std::string_view header, std::string_view body) {
    std::string text;
    for (char c : std::string(header) + std::string(body)) {
        if (c == '\n') text += '\r';
        text += c;
    }
    return text;
}

std::string in_lines(std::string_view text, std::size_t length) {
    std::string lines;
    for (std::size_t pos = 0; pos < text.size(); pos += length) lines += std::string(text.substr(pos, length)) + "\n";
    return lines;
}

TEST(Base64PartFile, SameBodyInLinesOfEveryLength) {
    temp_dir dir;
    std::mt19937 rng(7);
    // Ends in a padded group; as a single line it is longer than the pieces
    // the decoder reads, which then cut groups.
    std::string bytes = random_bytes(rng, 60001);
    std::string encoded = base64_encode_text(bytes);
    for (std::size_t length : {4u, 7u, 60u, 76u, 1000u, 1u << 20}) {
        write_bytes(dir / "1", part_file(part_header, in_lines(encoded, length)));
        ASSERT_TRUE(base64_decode_part_file(dir.cp("out"), dir.cp("1"))) << length;
        EXPECT_EQ(read_bytes(dir / "out"), bytes) << length;
    }
    EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "out"}));
}

TEST(Base64PartFile, HeaderIsSkippedWhateverItsLineLengths) {
    temp_dir dir;
    // Header lines around the 255-character piece size: the rest of a long
    // line is never taken for the blank line that ends the header.
    for (std::size_t length : {253u, 254u, 255u, 256u, 510u, 511u, 900u}) {
        std::string header = "Content-Disposition: attachment; filename=\"" + std::string(length - 44, 'n') + "\"\n";
        ASSERT_EQ(header.size(), length + 1);
        write_bytes(dir / "1", part_file(header + "Content-Transfer-Encoding: base64\n\n", "TWFu\nTWE=\n"));
        ASSERT_TRUE(base64_decode_part_file(dir.cp("out"), dir.cp("1"))) << length;
        EXPECT_EQ(read_bytes(dir / "out"), "ManMa") << length;
    }
}

TEST(Base64PartFile, DecodesUpToTheFirstPad) {
    temp_dir dir;
    struct {
        std::string_view body;
        std::string_view bytes;
    } cases[] = {
        {"TWFu\nTWE=\n", "ManMa"},
        {"TWFu\nTQ==\n", "ManM"},
        {"TWFuTQ=\n", "ManM"},              // the group ends at its pad
        {"TWE=TWFu\n--boundary--\n", "Ma"},  // nothing after the pad is read
        {"TW\nFu\n\nTW\nE=", "ManMa"},       // line breaks anywhere, no final one
        {"", ""},
    };
    for (const auto& c : cases) {
        write_bytes(dir / "1", part_file(part_header, c.body));
        ASSERT_TRUE(base64_decode_part_file(dir.cp("out"), dir.cp("1"))) << c.body;
        EXPECT_EQ(read_bytes(dir / "out"), c.bytes) << c.body;
    }
    // A header that never ends leaves an empty body.
    write_bytes(dir / "1", "Content-Type: application/octet-stream\r\n");
    ASSERT_TRUE(base64_decode_part_file(dir.cp("out"), dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "out"), "");
}

TEST(Base64PartFile, FailureLeavesNoOutput) {
    temp_dir dir;
    for (std::string_view body : {"TWFuTW\n", "TWFu\nT\n", "TW@u\n", "TWFu TWFu\n", "T===\n", "=TWF\n", "TWFu\n====\n"}) {
        write_bytes(dir / "1", part_file(part_header, body));
        EXPECT_FALSE(base64_decode_part_file(dir.cp("out"), dir.cp("1"))) << body;
        EXPECT_EQ(list_names(dir.path()), std::vector<std::string>{"1"}) << body;
    }
    // A file already at the output path stays as it was.
    write_bytes(dir / "out", "old");
    EXPECT_FALSE(base64_decode_part_file(dir.cp("out"), dir.cp("1")));
    EXPECT_EQ(read_bytes(dir / "out"), "old");

    EXPECT_FALSE(base64_decode_part_file(dir.cp("new"), dir.cp("missing")));
    EXPECT_FALSE(exists(dir / "new"));

    // Outputs that cannot be written: the parent is a regular file.
    write_bytes(dir / "1", part_file(part_header, "TWFu\n"));
    std::filesystem::remove(dir / "out");
    EXPECT_FALSE(base64_decode_part_file(dir.cp("1/out"), dir.cp("1")));
    // A directory stands where the output would go.
    std::filesystem::create_directory(dir / "out");
    EXPECT_FALSE(base64_decode_part_file(dir.cp("out"), dir.cp("1")));
    EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "out"}));
    EXPECT_TRUE(list_names(dir / "out").empty());
}

}  // namespace
}  // namespace qm
