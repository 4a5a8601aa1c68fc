#include <filesystem>
#include <optional>
#include <random>
#include <tuple>

#include "message/message_fixture.h"
#include "message/mime_reader.h"
#include "text/base64.h"

namespace qm::test {
namespace {

TEST(MimeReader, UnfoldingJoinsOnlyWhatBelongsTogether) {
    const std::pair<std::string, std::string> cases[] = {
        {"Subject: plain words\n  folded\nTo: a@x.jp,\n b@x.jp\nFrom: \"N\"\n <n@x.jp>\nReceived: r\n\tc\n\nbody\n line\n",
         "Subject: plain words folded\nTo: a@x.jp,\n b@x.jp\nFrom: \"N\" <n@x.jp>\nReceived: r\n\tc\n\nbody\n line\n"},
        {"Cc: \"A,\n B\" <ab@x.jp>\n\n", "Cc: \"A, B\" <ab@x.jp>\n\n"},  // a fold after a comma inside a quoted name
        // Part headers are unfolded too; an unquoted boundary ends at ";".
        {"Content-Type: multipart/mixed;\n boundary=b; x=y\n\npre\n amble\n--b\nContent-Type: text/plain;\n\tcharset=utf-8\n\n"
         "Subject: in\n body\n--b--\n",
         "Content-Type: multipart/mixed; boundary=b; x=y\n\npre\n amble\n--b\nContent-Type: text/plain; charset=utf-8\n\n"
         "Subject: in\n body\n--b--\n"},
        // A quote left open joins every line; a line of blanks after a comma ends nothing.
        {"To: \"open,\n b,\n c\n\n", "To: \"open, b, c\n\n"}, {"To: a@x.jp,\n \t\n b@x.jp\n\n", "To: a@x.jp,\n \t\n b@x.jp\n\n"},
        // A Ctrl-Z is data, not the end of the file.
        {"Subject: a\n b\x1a\n\nbody\x1a more\n", "Subject: a b\x1a\n\nbody\x1a more\n"},
    };
    for (const auto& [before, after] : cases) {
        std::string text = before;
        EXPECT_TRUE(unfold_header_text(text) == (before != after) && text == after) << before << "\n" << text;
    }
}

// Splits the message and returns the files of the message directory.
auto split(const std::string& message, int expected_last_part) {
    temp_dir dir;
    EXPECT_EQ(file_message(message, dir / ".0/"), expected_last_part) << message;
    return files_in(dir / ".0/");
}

TEST(MimeReader, TextBodiesBecomeShiftJis) {
    const std::string nihon = sj("日本");
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {  // charset, encoding, body, stored
        {"ISO-2022-JP", "base64", base64_encode_text("\x1b$BF|K\\\x1b(B\n"), nihon + "\r\n"},  // 日本 in ISO-2022-JP
        {"\"utf-8\"", "Base64", base64_encode_text("日本\r\n"), nihon + "\r\n"},
        {"Windows-31J", "quoted-printable", "=93=FA=96=7B=\n!\n", nihon + "!\r\n"},
        {"ISO-8859-5", "quoted-printable", "=BF=E0=D8=D2=D5=E2\n", sj("Привет") + "\r\n"},
        // What cannot be decoded stays as it came.
        {"x-unknown", "base64", "5pel5pys\n", "5pel5pys\r\n"}, {"ISO-2022-JP", "base64", "5pe!5pys\n", "5pe!5pys\r\n"},
        {"ISO-2022-JP", "x-uuencode", "begin 644 a\n", "begin 644 a\r\n"},
    };
    for (const auto& [charset, encoding, body, text] : cases)
        EXPECT_EQ(split("Content-Type: text/plain; charset=" + charset + "\nContent-Transfer-Encoding: " + encoding + "\n\n" + body, 1)["1"],
                  "\r\n" + text) << charset << " " << encoding;
    // A body without a charset in raw UTF-8 (RFC 6532), in every transfer encoding; raw Shift_JIS stays.
    for (const std::string& encoded : {std::string("8bit\n\n日本\n"), "base64\n\n" + base64_encode_text("日本\n"),
                                       std::string("quoted-printable\n\n=E6=97=A5=E6=9C=AC\n"), "8bit\n\n" + nihon + "\n"})
        EXPECT_EQ(split("Content-Type: text/plain\nContent-Transfer-Encoding: " + encoded, 1)["1"], "\r\n" + nihon + "\r\n") << encoded;
}

TEST(MimeReader, MultipartsBelowTheDepthLimitStayWhole) {
    std::string nested = "\ninnermost\n";
    // Each level holds an empty text; the multipart at the limit is one part with everything below it.
    for (int level = multipart_depth_limit + 3; level > 0; --level) {
        const std::string b = "b" + std::to_string(level);
        nested = "Content-Type: multipart/mixed; boundary=\"" + b + "\"\n\n--" + b + "\n\n\n--" + b + "\n" + nested + "--" + b + "--\n";
    }
    const std::string kept = split("Subject: deep\n" + nested, multipart_depth_limit + 1)[std::to_string(multipart_depth_limit + 1)];
    EXPECT_TRUE(kept.starts_with("Content-Type: multipart/mixed; boundary=\"b" + std::to_string(multipart_depth_limit + 1) + "\"\r\n\r\n")) << kept;
    EXPECT_NE(kept.find("innermost"), std::string::npos);
}

// A part file "1" decoded into "out" for the user.
class StoredPartBody : public ::testing::Test {
protected:
    // Writes part file "1" (CR LF line ends) and decodes it into "out"; nothing when that fails and leaves no "out".
    std::optional<std::string> decode(std::string_view part) {
        write_bytes(dir / "1", crlf(part));
        std::filesystem::remove(dir / "out");
        if (!decode_part_body(dir.cp(), 1, dir.cp("out"))) return exists(dir / "out") ? "out left behind" : std::optional<std::string>();
        return read_bytes(dir / "out");
    }
    temp_dir dir;
};
using StoredBase64Body = StoredPartBody;

TEST_F(StoredPartBody, EachTransferEncodingForTheUser) {
    const std::pair<std::string_view, std::optional<std::string>> cases[] = {
        {"Content-Transfer-Encoding: x-uuencode\n\nbegin\n", std::nullopt},
        {"Content-Transfer-Encoding: base64\n\nTWFu\nTW E=\nignored\n", "ManMa"},
        {"Content-Transfer-Encoding: quoted-printable\n\na=3Db=\nc=0A\nd=", "a=bc\n\r\nd"},
        {"Content-Type: text/plain\n\nas stored\n\x1a\r", "as stored\r\n\x1a\r"},
    };
    for (const auto& [part, bytes] : cases) EXPECT_EQ(decode(part), bytes) << part;
    EXPECT_FALSE(decode_part_body(dir.cp(), 2, dir.cp("none")) || exists(dir / "none"));  // no such part
    // A file in the way stays, unless it is to be replaced.
    write_bytes(dir / "out", "in the way");
    EXPECT_TRUE(!decode_part_body(dir.cp(), 1, dir.cp("out"), false) && read_bytes(dir / "out") == "in the way");
    EXPECT_TRUE(decode_part_body(dir.cp(), 1, dir.cp("out")) && read_bytes(dir / "out") == "as stored\r\n\x1a\r");
    EXPECT_EQ(list_names(dir.path()), (names{"1", "out"}));
}

const std::string part_header = "Content-Type: application/octet-stream; name=\"a.bin\"\n"
                                "Content-Transfer-Encoding: base64\n\n";

TEST_F(StoredBase64Body, RandomBytesInLinesOfEveryLength) {
    // Bodies ending in each form of group; as a single line each is longer
    // than the pieces the decoder reads, which then cut groups.
    std::mt19937 rng(7);
    for (std::size_t size : {60000u, 60001u, 60002u}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        const std::string encoded = base64_encode_text(bytes);
        for (std::size_t length : {4u, 7u, 76u, 1u << 20}) {
            std::string lines;
            for (std::size_t pos = 0; pos < encoded.size(); pos += length) lines += encoded.substr(pos, length) + "\n";
            EXPECT_EQ(decode(part_header + lines), bytes) << size << " " << length;
        }
    }
    EXPECT_EQ(list_names(dir.path()), (std::vector<std::string>{"1", "out"}));
}

TEST_F(StoredBase64Body, DecodesUpToTheFirstPad) {
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

TEST_F(StoredBase64Body, FailureLeavesNoOutput) {
    // A Ctrl-Z is no end of the part: it is a character outside the alphabet.
    for (std::string_view body : {"TWFuTW\n", "TWFu\nT\n", "TW@u\n", "TWFu\x1aTWFu\n", "T===\n", "=TWF\n", "TWFu\n====\n"}) {
        EXPECT_EQ(decode(part_header + std::string(body)), std::nullopt) << body;
        EXPECT_EQ(list_names(dir.path()), std::vector<std::string>{"1"}) << body;
    }
    // A file already at the output path stays as it was.
    write_bytes(dir / "out", "old");
    EXPECT_TRUE(!decode_part_body(dir.cp(), 1, dir.cp("out")) && read_bytes(dir / "out") == "old");
    // Outputs that cannot be written: the parent is a regular file; a directory stands there.
    write_bytes(dir / "1", crlf(part_header + "TWFu\n"));
    std::filesystem::create_directory(dir / "taken");
    EXPECT_FALSE(decode_part_body(dir.cp(), 1, dir.cp("1/out")) || decode_part_body(dir.cp(), 1, dir.cp("taken")));
    EXPECT_EQ(list_names(dir.path()), (names{"1", "out", "taken"}));
    EXPECT_TRUE(list_names(dir / "taken").empty());
}

}  // namespace
}  // namespace qm::test
