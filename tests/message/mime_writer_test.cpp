#include <filesystem>
#include <tuple>

#include "message/message_fixture.h"
#include "message/mime_writer.h"

namespace qm::test {
namespace {

const std::string mailer = "Quillmere 3.0.1 (Linux)";

struct attachment { std::string name, bytes; };  // the name in UTF-8

// A draft (UTF-8 with "\n", stored as CP932 with CR LF) and its exact wire form in tests/data/outgoing.
struct wire_case { const char* expected_file; std::string header, body; std::vector<attachment> attachments = {}; };

const std::string from_to = "From: sender@example.com\nTo: rcpt@example.com\n";

// `count` characters of text that no blank or line break interrupts.
std::string japanese(std::size_t count) {
    const std::string seed = "日本語の表示能力ソを確かめるための長い段落です。";  // three bytes a character
    std::string text;
    while (text.size() < 3 * count) text += seed;
    return text.substr(0, 3 * count);
}
// `count` bytes of English words.
std::string words(std::size_t count) {
    std::string text;
    while (text.size() < count) text += "The quick brown fox jumps over the lazy dog. ";
    text.resize(count);
    return text.ends_with(' ') ? text.substr(0, count - 1) + "." : text;
}

const wire_case wire_cases[] = {
    {"ascii_single_part", from_to + "Subject: Plain ASCII subject\nDate: Tue, 2 Mar 2010 23:30:00 +0900\n",
     "\nHello,\nthis is plain ASCII.\n"},
    {"japanese_subject_and_body", from_to + "Subject: 送信する電子メールの件名が三十文字のときの折り返しを確認する\n",
     "\n日本語の本文です。\n二行目 with ASCII\n"},
    {"one_attachment_ascii_name", from_to + "Subject: One attachment\n", "\n添付します。\n", {{"notes.txt", "Attached text\n"}}},
    {"attachments_of_57_and_58_bytes", from_to + "Subject: Two attachments\n", "\nSee the two files.\n",
     {{"a57.bin", bytes_from_zero(57)}, {"資料.bin", bytes_from_zero(58)}}},
    {"long_japanese_name_in_sections", from_to + "Subject: Long name\n", "\nLong name.\n",
     {{"とてもながいなまえのついたふぁいるはつづきのぎょうにわけて、いくつかのくぎりでおくられます.txt", "x"}}},
    // A blank line in the header and no line feed at its end; a body
    // without its blank first line and without a final line feed.
    {"unfinished_lines", "From: sender@example.com\n\nTo: rcpt@example.com",
     "no blank first line\nlast line without line feed", {{"notes.txt", "Attached text\n"}}},
    // Lines too long for the wire: the subject folded into many words, the paragraphs cut into flowed lines
    // (lines that a reader of flowed text would take for stuffed or quoted are stuffed).
    {"long_lines_flowed", from_to + "Subject: " + japanese(250) + "\n",
     "\n" + japanese(500) + "\n> quoted line\nFrom the start\n indented\n" + words(1200) + "\n"},
    {"long_ascii_lines", from_to + "Subject: " + words(1100) + "\n", "\n" + words(1500) + "\nshort line\n"},
};

// Writes the draft as the store keeps it; returns its base path (CP932).
std::string make_draft(const temp_dir& dir, const wire_case& c) {
    write_bytes(dir / "draft/0", stored(c.header));
    write_bytes(dir / "draft/1", stored(c.body));
    std::filesystem::create_directories(dir / "work");
    for (std::size_t i = 0; i < c.attachments.size(); ++i) {
        write_bytes(dir / ("source/" + c.attachments[i].name), c.attachments[i].bytes);
        EXPECT_TRUE(encode_attachment(dir.cp("source/" + c.attachments[i].name), dir.cp("draft/"), int(i) + 2));
    }
    return dir.cp("draft/");
}

TEST(MimeWriter, WritesTheExactWireForm) {
    for (const wire_case& c : wire_cases) {
        SCOPED_TRACE(c.expected_file);
        temp_dir dir;
        std::string draft = make_draft(dir, c);
        auto before = files_in(dir / "draft/");
        ASSERT_TRUE(compose_message(draft, dir.cp("work/1.smt"), mailer));
        EXPECT_EQ(read_bytes(dir / "work/1.smt"), read_bytes(test_data + "outgoing/" + c.expected_file + ".eml"));
        // No temporary file remains, and the draft is as it was.
        EXPECT_EQ(std::pair(list_names(dir / "work"), files_in(dir / "draft/")), std::pair(names{"1.smt"}, before));
    }
}

TEST(MimeWriter, EncodeAttachmentRefusesWhatCannotBeSent) {
    // The disposition line takes 43 characters, the closing quote and line feed two more: 210 name bytes fit 255.
    const std::tuple<std::string, int, bool> cases[] = {  // source, part number, accepted
        {"empty.bin", 2, false}, {"missing.bin", 2, false}, {"folder", 2, false}, {"data.bin", 1, false},  // the body's number
        {"say\"hi\".bin", 2, false}, {"two\nlines.bin", 2, false}, {std::string(211, 'n'), 2, false}, {std::string(210, 'n'), 2, true}};
    // Only the last is accepted: until then the draft holds its body alone.
    temp_dir dir;
    write_bytes(dir / "empty.bin", "");
    write_bytes(dir / "folder/x", "x");
    write_bytes(dir / "d/1", "\r\nbody\r\n");
    for (const auto& [source, part, accepted] : cases) {
        if (!exists(dir / source) && source != "missing.bin") write_bytes(dir / source, "data");
        EXPECT_EQ(encode_attachment(dir.cp(source), dir.cp("d/"), part), accepted) << source;
        EXPECT_EQ(list_names(dir / "d").size(), accepted ? 2u : 1u) << source;
    }
    EXPECT_EQ(read_bytes(dir / "d/1"), "\r\nbody\r\n");
}

// Part files made elsewhere or edited: only the name parameter changes.
TEST(MimeWriter, RewritesTheNameParameterOfAnyPart) {
    const std::string value = "iso-2022-jp'ja'%1B%24B%3BqNA%1B%28B%2Ebin";
    const std::pair<std::string, std::string> cases[] = {
        {"Content-Disposition: attachment; filename=\"資料.bin\"; size=58",
         "Content-Disposition: attachment; filename*=" + value + "; size=58"},
        {"CONTENT-DISPOSITION: attachment; FILENAME=資料.bin", "CONTENT-DISPOSITION: attachment; FILENAME*=" + value},
        {"Content-Disposition: 添付", "Content-Disposition: =?ISO-2022-JP?B?GyRCRTpJVRsoQg==?="},
    };
    for (const auto& [line, wire] : cases) {
        temp_dir dir;
        const std::string draft = make_draft(dir, {"", from_to, "\nbody\n"});
        write_bytes(dir / "draft/2", stored("Content-Type: application/octet-stream\n" + line + "\n\neA==\n"));
        ASSERT_TRUE(compose_message(draft, dir.cp("1.smt"), mailer)) << line;
        EXPECT_NE(read_bytes(dir / "1.smt").find(crlf("\nContent-Type: application/octet-stream\n" + wire + "\n\neA==\n")),
                  std::string::npos) << read_bytes(dir / "1.smt");
    }
}

TEST(MimeWriter, FailureLeavesNoOutboxFileAndTheDraftAsItWas) {
    const std::pair<const char*, std::string> spoiled[] = {
        {"draft/1", "<none>"},                          // no body
        {"draft/0", "<none>"},                          // no header
        {"draft/0", stored("Subject: " + std::string(998, 'x') + "\n")},  // a word too long to fold
        {"draft/3/x", ""},                              // a part that cannot be read
        {"work/1.$$$/x", ""},                           // the outbox file cannot be written
    };
    for (const auto& [path, contents] : spoiled) {
        SCOPED_TRACE(path);
        temp_dir dir;
        std::string draft = make_draft(dir, wire_cases[2]);
        write_bytes(dir / "work/1.smt", "left over from an earlier job");
        contents == "<none>" ? (void)std::filesystem::remove(dir / path) : write_bytes(dir / path, contents);
        auto before = files_in(dir / "draft/");
        EXPECT_FALSE(compose_message(draft, dir.cp("work/1.smt"), mailer) || exists(dir / "work/1.smt"));
        for (const std::string& name : list_names(dir / "work")) EXPECT_EQ(name, "1.$$$");
        EXPECT_EQ(files_in(dir / "draft/"), before);
    }
}

TEST(MimeWriter, NoBareCarriageReturnReachesTheWire) {
    temp_dir dir;
    // A carriage return on its own ends a line, in the header as in the body; before a line feed it goes.
    write_bytes(dir / "draft/0", "From: a@example.com\rTo: b@example.com\r\r\n");
    write_bytes(dir / "draft/1", "\r\n.\rtwo\r\r\nthree\r");
    ASSERT_TRUE(compose_message(dir.cp("draft/"), dir.cp("1.smt"), mailer));
    EXPECT_EQ(read_bytes(dir / "1.smt"), crlf("From: a@example.com\nTo: b@example.com\nX-Mailer: " + mailer +
                                              "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=US-ASCII\n"
                                              "Content-Transfer-Encoding: 7bit\n\n.\ntwo\nthree\n"));
}

}  // namespace
}  // namespace qm::test
