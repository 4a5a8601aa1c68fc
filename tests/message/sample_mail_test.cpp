#include <filesystem>

#include "base/find_nocase.h"
#include "message/header_fields.h"
#include "message/message_lines.h"
#include "message/message_fixture.h"
#include "message/mime_reader.h"
#include "platform/text_file.h"
#include "store/mail_reading.h"
#include "text/base64.h"
#include "text/unicode_forms.h"

namespace qm::test {
namespace {

const std::string mail_data = test_data + "mail/";

// The samples in tests/data/mail: "NAME.eml" and the exact files filing stores for it in "NAME.stored/".
names samples() {
    names found;
    for (const std::string& name : list_names(mail_data))
        if (name.ends_with(".eml")) found.push_back(name.substr(0, name.size() - 4));
    return found;
}

// What filing gives for a sample: its last stored part, but 0 for a
// message without a body (its Content- lines still make part "1").
int last_part(const std::string& name) {
    return name == "no_blank_line_after_header" ? 0 : static_cast<int>(list_names(mail_data + name + ".stored").size()) - 1;
}

// Files a sample as filing does, into a fresh message directory ".0/".
int file_sample(const temp_dir& dir, const std::string& name) {
    return file_message(read_bytes(mail_data + name + ".eml"), dir / ".0/");
}

// Line ends and final line feeds are not compared.
std::string comparable(std::string text) {
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
    while (text.ends_with('\n')) text.pop_back();
    return text;
}

// Python's subject, text and leaves (type, name, bytes), as python_reference.py prints them; with
// `carried`, of the message in that message/rfc822 leaf.
names python_reading(const std::string& file, const std::string& carried = "") {
    names fields{""};
    for (char c : python_output("mail/python_reference.py", file, carried)) c ? fields.back() += c : fields.emplace_back();
    for (std::string& field : fields) field = comparable(field);
    return fields;
}

std::string part_value(const std::string& base, int part, const char* field) {
    std::string value;
    EXPECT_TRUE(get_part_header_value(field, value, base, part, 256, ""));
    return value;
}

// The same as read from the files a sample is stored as, the bytes of its attachments and other
// parts that are no text as restoring gives them back.
// The subject and the text are read as sent: where CP932 lost characters, they come back from the message
// itself, and only where the stored files agree with it.
names our_reading(const std::string& stored, int last_part, const temp_dir& scratch, const std::string& eml) {
    std::string base = sj(stored), body, message = message_text_of(read_bytes(eml));
    unfold_header_text(message);
    int text = last_part >= 1 ? find_text_part(base) : -1;
    if (text >= 1) {
        EXPECT_TRUE(read_text_file(base + std::to_string(text), body));
        std::optional<std::string> as_sent = text_part_unicode(message, text);
        EXPECT_TRUE(as_sent) << "part " << text;
        std::optional<std::string> agreed = unicode_form(body, as_sent.value_or(""));
        EXPECT_TRUE(agreed) << "the stored text and the text as sent disagree";
        body = agreed ? agreed->substr(1) : u8(body);  // the blank line in front of the text
    }
    std::string subject = get_subject(base + "0", 1000);
    names fields{comparable(sent_header(read_bytes(eml)).shown("Subject", subject)), comparable(body)};
    for (int part = 1; part <= last_part; ++part) {
        if (part == text) continue;
        std::string type = part_value(base, part, "Content-Type"), name, bytes;
        if (type.empty()) type = "text/plain";
        if (!get_part_filename(base, part, name, 256)) name.clear();
        bool attachment = !name.empty() || equals_nocase(part_value(base, part, "Content-Disposition"), "attachment");
        if (!starts_with_nocase(type, "message/") && (attachment || !starts_with_nocase(type, "text/"))) {
            EXPECT_TRUE(decode_part_body(base, part, scratch.cp("restored")));
            bytes = base64_encode_text(read_bytes(scratch / "restored"));
        }
        for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        fields.insert(fields.end(), {type, u8(name), bytes});
    }
    return fields;
}

TEST(SampleMail, StoredFilesAreExactlyTheExpectedOnesAndReadAsPythonReadsTheMessage) {
    ASSERT_EQ(samples().size(), 25u);
    for (const std::string& name : samples()) {
        SCOPED_TRACE(name);
        temp_dir dir;
        EXPECT_EQ(file_sample(dir, name), last_part(name));
        EXPECT_FALSE(exists(dir / "0.pop"));
        EXPECT_EQ(files_in(dir / ".0/"), files_in(mail_data + name + ".stored/"));
    }
    // Python reads the same subject, text, names and attachment bytes in each message as ours in its
    // stored files; a forwarded message restores to a file that Python reads as the message it carried.
    QM_REQUIRE_PYTHON3();
    for (const std::string& name : samples()) {
        SCOPED_TRACE(name);
        temp_dir scratch;
        const std::string stored = mail_data + name + ".stored/";
        EXPECT_EQ(our_reading(stored, last_part(name), scratch, mail_data + name + ".eml"),
                  python_reading(mail_data + name + ".eml"));
        int carried = 0;
        for (int part = 1; part <= last_part(name); ++part) {
            if (!equals_nocase(part_value(sj(stored), part, "Content-Type"), "message/rfc822")) continue;
            ASSERT_TRUE(decode_part_body(sj(stored), part, scratch.cp("carried.eml")));
            EXPECT_EQ(python_reading(scratch / "carried.eml"),
                      python_reading(mail_data + name + ".eml", std::to_string(carried++)));
        }
    }
}

}  // namespace
}  // namespace qm::test
