#include <filesystem>
#include <functional>

#include "message/draft_header.h"
#include "message/header_fields.h"
#include "message/message_fixture.h"

namespace qm::test {
namespace {

using rewrite = std::function<bool(const std::string&)>;

TEST(HeaderFields, ReadingValues) {
    temp_dir dir;
    write_bytes(dir / "0", "Message-ID: <1@example.jp> (x)\r\nSUBJECT:\t " + sj("会議の件") +
                               "\r\nX-Quillmere-Status: R@R \r\nsubject: second\r\n");
    write_bytes(dir / "1", "To: a@example.jp\r\n");
    // Cut at whole characters; a missing file or field reads "???".
    EXPECT_EQ(get_subject(dir.cp("0"), 100) + get_subject(dir.cp("0"), 6), sj("会議の件会議"));
    EXPECT_EQ(get_subject(dir.cp("none"), 100) + get_subject(dir.cp("1"), 100), "??????");
    EXPECT_TRUE(has_header_line(dir.cp("0"), "x-quillmere") && !has_header_line(dir.cp("0"), "Bcc"));
}

TEST(HeaderFields, RewritesChangeOnlyTheirField) {
    auto set = [](std::string subject) -> rewrite { return [subject](const std::string& p) { return set_subject(p, subject); }; };
    const rewrite add = [](const std::string& p) { return add_header_value(p, "To", "c@example.jp"); };
    const std::string two_line_to = "To: a@example.jp,\r\n b@example.jp\r\nSubject: x\r\n", subject = sj("新しい件名");
    const struct { rewrite change; std::string before, after; bool ok = true; } rows[] = {
        {set(subject), "Subject: old\r\n folded\r\nTo: a\r\nsubject: again\r\n",
         "Subject: " + subject + "\r\nTo: a\r\nSubject: " + subject + "\r\n"},
        {set("x"), "To: a", "To: a\r\nSubject: x\r\n"},
        {set("x\nBcc: y"), "Subject: old\r\n", "Subject: old\r\n", false},  // would add a line
        {add, two_line_to, "To: a@example.jp,\r\n c@example.jp,\r\n b@example.jp\r\nSubject: x\r\n"},
        {add, "To: a@example.jp  \r\nCc: d\r\nTo: e\r\n", "To: a@example.jp,\r\n c@example.jp\r\nCc: d\r\nTo: e\r\n"},
        {add, "Subject: x\r\n", "Subject: x\r\nTo: c@example.jp\r\n"},
        {remove_bcc, "To: a\r\nBCC: b,\r\n c\r\nSubject: s\r\n\r\nBcc: body\r\n", "To: a\r\nSubject: s\r\n\r\nBcc: body\r\n"},
    };
    // Each a second time with a directory where the companion would be written: nothing changes.
    for (const auto& r : rows) for (bool blocked : {false, true}) {
        if (blocked && r.before == r.after) continue;
        temp_dir dir;
        write_bytes(dir / "0", r.before);
        if (blocked) std::filesystem::create_directory(dir / "0.$$$");
        EXPECT_EQ(r.change(dir.cp("0")), r.ok && !blocked) << r.before;
        EXPECT_EQ(read_bytes(dir / "0"), blocked ? r.before : r.after) << r.before;
        EXPECT_EQ(list_names(dir.path()), (blocked ? names{"0", "0.$$$"} : names{"0"}));
    }
}

TEST(HeaderFields, PartHeaderValues) {
    temp_dir dir;
    std::string base = dir.cp();
    write_bytes(dir / "1", "\r\ntext body\r\n");
    write_bytes(dir / "2", "Content-Type: Text/HTML;\tcharset=utf-8\r\n\r\nContent-Transfer-Encoding: base64\r\n");
    write_bytes(dir / "3", "Content-Type: application/pdf; name=\"a b.pdf\"\r\nContent-Disposition: attachment; "
                           "filename=" + sj("見積.pdf") + "; size=3\r\nContent-Type: x; name=late\r\n\r\n");
    write_bytes(dir / "4", "Content-Type: text/plain; name=first\r\nX: name=\"second\r\n\r\n");
    write_bytes(dir / "5", "Content-Type: text/plain");
    // Quoted pairs in a quoted name; 表 ends in the byte of "\".
    write_bytes(dir / "6", "Content-Disposition: attachment; filename=\"" + sj("表") + "\\\"x\\\\.txt\" ; size=1\r\n\r\n");

    std::string value;
    EXPECT_TRUE(get_part_header_value("Content-Transfer-Encoding", value, base, 2, 128, "7bit") && value == "7bit");
    // What a reader finds in a part with the room given, as UTF-8; "-" when it finds nothing.
    const auto found = [&](auto get, int part, std::size_t room = 100) { std::string v; return u8(get(base, part, v, room) ? v : "-"); };
    // "Text/HTML" and its end need 10 bytes; part 5 has no end after it.
    EXPECT_EQ(found(get_content_type, 2, 128) + "|" + found(get_content_type, 1) + "|" + found(get_content_type, 2, 9) + "|" +
                  found(get_content_type, 5) + "|" + found(get_content_type, 9), "Text/HTML|text/plain|-|-|-");
    EXPECT_EQ(found(get_part_filename, 3) + "|" + found(get_part_filename, 4) + "|" + found(get_part_filename, 2) + "|" +
                  found(get_part_filename, 6), "見積.pdf|second|-|表\"x\\.txt");

    EXPECT_EQ(find_text_part(base), 1);
    std::filesystem::remove(dir / "1");
    EXPECT_EQ(find_text_part(base), -1);

    EXPECT_TRUE(set_part_filename(base, 3, sj("新.pdf")) && found(get_part_filename, 3) == "新.pdf");
    // A name that would not read back, then one whose companion cannot be written: the file stays.
    ASSERT_TRUE(set_part_filename(base, 4, "n.txt") && !set_part_filename(base, 4, "a\"b"));
    std::filesystem::create_directory(dir / "4.$$$");
    EXPECT_FALSE(set_part_filename(base, 4, "m.txt"));
    EXPECT_EQ(read_bytes(dir / "4"), "Content-Type: text/plain; name=first\r\nX: name=\"second\r\n"
                                     "Content-Disposition: attachment; filename=\"n.txt\"\r\n\r\n");
}

names fields_of(std::string_view text) {
    names out;
    for (const header_field& f : draft_header_fields(text)) out.push_back(f.name + "|" + f.value);
    return out;
}

TEST(DraftHeader, FieldsTakeTheirContinuations) {
    const std::string long_value(5000, 'v');
    EXPECT_EQ(fields_of("To: a@example.com,\n b@example.com\n\n\tc@example.com\nTopic: x@example.com\nTo : " + long_value +
                        "\nno field here\n continues nothing\nSubject:\rX-A:1"),
              (names{"To| a@example.com, b@example.com\tc@example.com", "Topic| x@example.com", "To| " + long_value,
                     "Subject|", "X-A|1"}));
}

// "sender -> recipient, ..." or the fault with what it names.
std::string envelope_of(std::string_view utf8_header, std::size_t limit = 238) {
    envelope_reading r = read_draft_envelope(draft_header_fields(sj(utf8_header)), limit);
    if (r.fault == envelope_fault::no_sender) return "no sender";
    if (r.fault == envelope_fault::no_recipient) return "no recipient";
    if (r.fault == envelope_fault::unusable_address) return "unusable: " + u8(r.unusable);
    std::string out = r.envelope.sender + " ->";
    for (const std::string& recipient : r.envelope.recipients) out += " " + recipient;
    return out;
}

TEST(DraftHeader, TheEnvelopeNamesEveryAddressOrSaysWhichItCannotUse) {
    const std::pair<std::string, std::string> cases[] = {
        {"Bcc: h@example.com\nFrom: アリス <a@example.com>, b@example.com\nCc: c@example.com\n"
         "To: taro@example.com (鈴木\n 一郎), x@example.com\nTopic: topic@example.com\nResent-To: r@example.com\n"
         "To: second@example.com\n",
         "a@example.com -> taro@example.com x@example.com second@example.com c@example.com h@example.com"},
        {"from: a@example.com\nTO: undisclosed-recipients:;\nbcc: h@example.com\n", "a@example.com -> h@example.com"},
        {"To: t@example.com\n", "no sender"}, {"From: (nobody)\nTo: t@example.com\n", "unusable: (nobody)"},
        {"From: a@example.com\nTo: t@example.com, 鈴木 一郎\n", "unusable: 鈴木 一郎"},
        {"From: a@example.com\nTopic: t@example.com\nTo: undisclosed-recipients:;\n", "no recipient"},
    };
    for (const auto& [header, expected] : cases) EXPECT_EQ(envelope_of(header), expected) << header;
    // An address longer than a command can carry is not cut into someone else's.
    const std::string long_address = std::string(20, 'u') + "@example.com", header = "From: a@example.com\nTo: " + long_address + "\n";
    EXPECT_EQ(envelope_of(header, long_address.size()) + " | " + envelope_of(header, long_address.size() - 1),
              "a@example.com -> " + long_address + " | unusable: " + long_address);
}

}  // namespace
}  // namespace qm::test
