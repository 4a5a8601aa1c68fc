#include <filesystem>
#include <map>
#include <tuple>

#include "message/message_fixture.h"
#include "message/mime_reader.h"
#include "text/base64.h"

namespace qm::test {
namespace {

const std::string jis_nihon = "\x1b$BF|K\\\x1b(B";  // 日本 in ISO-2022-JP

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
        {"To: a@x.jp,\n b@x.jp\n\nx\n", "To: a@x.jp,\n b@x.jp\n\nx\n"},
    };
    temp_dir dir;
    for (const auto& [before, after] : cases) {
        write_bytes(dir / "0.pop", before);
        EXPECT_TRUE(unfold_header_file(dir.cp("0.pop")));
        // A rewritten file has CR LF line ends; one with nothing to join is not touched.
        EXPECT_EQ(read_bytes(dir / "0.pop"), before == after ? before : crlf(after));
    }
    EXPECT_FALSE(unfold_header_file(dir.cp("none.pop")));
}

// The stored form of a part file with this header and body.
std::string stored_part(const std::string& header, const std::string& body, int part = 1) {
    temp_dir dir;
    std::string name = std::to_string(part);
    write_bytes(dir / name, header + "\n" + body);
    EXPECT_TRUE(decode_part(dir.cp(), part));
    return read_bytes(dir / name);
}

TEST(MimeReader, TextBodiesBecomeShiftJis) {
    const std::string nihon = sj("日本");
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {  // charset, encoding, body, stored
        {"ISO-2022-JP", "base64", base64_encode_text(jis_nihon + "\n"), nihon + "\r\n"},
        {"\"utf-8\"", "Base64", base64_encode_text("日本\r\n"), nihon + "\r\n"},
        {"UTF-8", "7bit", "日本\n", nihon + "\r\n"},
        {"Windows-31J", "quoted-printable", "=93=FA=96=7B=\n!\n", nihon + "!\r\n"},
        {"ISO-8859-5", "quoted-printable", "=BF=E0=D8=D2=D5=E2\n", sj("Привет") + "\r\n"},
        // What cannot be decoded stays as it came.
        {"x-unknown", "base64", "5pel5pys\n", "5pel5pys\r\n"}, {"ISO-2022-JP", "base64", "5pe!5pys\n", "5pe!5pys\r\n"},
        {"ISO-2022-JP", "x-uuencode", "begin 644 a\n", "begin 644 a\r\n"},
    };
    for (const auto& [charset, encoding, body, text] : cases) {
        std::string header = "Content-Type: text/plain; charset=" + charset + "\nContent-Transfer-Encoding: " + encoding;
        EXPECT_EQ(stored_part(header + "\n", body), "\r\n" + text) << charset << " " << encoding;
    }
}

TEST(MimeReader, OtherPartsKeepTheirHeader) {
    EXPECT_EQ(stored_part("Content-Type: application/octet-stream; name=\"=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=.bin\"\n"
                          "Content-Transfer-Encoding: 7bit\n", "raw " + jis_nihon + "\n"),
              "Content-Type: application/octet-stream; name=\"" + sj("日本") + ".bin\"\r\n\r\nraw " + jis_nihon + "\r\n");
    // An attached text file keeps its name; the body text does not get one.
    std::string named = "Content-Type: text/plain; charset=ISO-2022-JP; name=\"a.txt\"\n";
    EXPECT_EQ(stored_part(named, jis_nihon + "\n", 2),
              "Content-Disposition: attachment; filename=\"a.txt\"\r\n\r\n" + sj("日本") + "\r\n");
    EXPECT_EQ(stored_part(named, jis_nihon + "\n", 1), "\r\n" + sj("日本") + "\r\n");
}

// Splits the message and returns the files of the message directory.
std::map<std::string, std::string> split(const std::string& message, int expected_last_part) {
    temp_dir dir;
    write_bytes(dir / "0.pop", message);
    std::filesystem::create_directory(dir / ".0");
    EXPECT_EQ(split_message(dir.cp("0.pop"), dir.cp(".0/")), expected_last_part) << message;
    return files_in(dir / ".0/");
}

TEST(MimeReader, TheOrderOfTopLevelContentFieldsDoesNotMatter) {
    std::string body = base64_encode_text("日本");
    using files = std::map<std::string, std::string>;
    EXPECT_EQ(split("Content-Transfer-Encoding: 7bit\nSubject: s\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
                    "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\n" + body + "\n--b--\n", 1),
              (files{{"0", "Content-Transfer-Encoding: 7bit\r\nSubject: s\r\n"}, {"1", "\r\n" + sj("日本")}}));
    EXPECT_EQ(split("Content-Transfer-Encoding: quoted-printable\nSubject: s\nContent-Type: text/html\n\n<b>a=3Db</b>\n", 2),
              (files{{"0", "Subject: s\r\n"}, {"1", "\r\n"}, {"2", "Content-Type: text/html\r\n\r\n<b>a=b</b>\r\n"}}));
}

TEST(MimeReader, AFailedSplitRemovesTheMessageAndKeepsTheSource) {
    std::string message = "Subject: s\nContent-Type: multipart/mixed; boundary=b\n\n--b\n\nx\n--b\n\ny\n--b--\n";
    for (const char* blocker : {".0/2", ".0/1.$$$", ".0/0"}) {
        temp_dir dir;
        write_bytes(dir / "0.pop", message);
        std::filesystem::create_directories(dir / blocker);
        EXPECT_EQ(split_message(dir.cp("0.pop"), dir.cp(".0/")), -1) << blocker;
        EXPECT_FALSE(exists(dir / ".0")) << blocker;
        EXPECT_EQ(read_bytes(dir / "0.pop"), message);
    }
    temp_dir dir;
    std::filesystem::create_directory(dir / ".0");
    EXPECT_EQ(split_message(dir.cp("none.pop"), dir.cp(".0/")), -1);
}

TEST(MimeReader, PartBodiesForTheUser) {
    temp_dir dir;
    std::string base = dir.cp();
    write_bytes(dir / "1", "Content-Transfer-Encoding: base64\r\n\r\nTWFu\r\nTWE=\r\nignored\r\n");
    write_bytes(dir / "2", "Content-Transfer-Encoding: quoted-printable\r\n\r\na=3Db=\r\nc\r\n");
    write_bytes(dir / "3", "Content-Type: text/plain\r\n\r\nas stored\r\n");
    write_bytes(dir / "4", "Content-Transfer-Encoding: x-uuencode\r\n\r\nbegin\r\n");
    for (auto [part, ok, bytes] : {std::tuple{1, true, "ManMa"}, {2, true, "a=bc\r\n"}, {3, true, "as stored\r\n"},
                                   {4, false, ""}, {5, false, ""}}) {
        std::string out = "out" + std::to_string(part);
        EXPECT_EQ(decode_part_body(base, part, dir.cp(out)), ok) << part;
        EXPECT_EQ(exists(dir / out), ok) << part;
        EXPECT_EQ(read_bytes(dir / out), bytes) << part;
    }
}

TEST(MimeReader, DecodedHeaderValuesNeverSplitALine) {
    temp_dir dir;
    write_bytes(dir / "0", "Subject: =?UTF-8?Q?a=0D=0ABcc:_x=1Ay?=\r\nFrom: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= <a@x.jp>\r\n");
    ASSERT_TRUE(decode_header_file(dir.cp()));
    EXPECT_EQ(read_bytes(dir / "0"), "Subject: a  Bcc: x y\r\nFrom: " + sj("日本") + " <a@x.jp>\r\n");
}

}  // namespace
}  // namespace qm::test
