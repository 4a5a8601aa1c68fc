#include <filesystem>
#include <set>

#include "message/header_fields.h"
#include "message/message_fixture.h"
#include "message/mime_reader.h"
#include "platform/text_file.h"

namespace qm {
namespace {

using namespace test;

const std::string mail_data = test_data + "mail/";

// Each sample message in tests/data/mail, the number split_message gives
// for it, and where Python's reader is known to see it differently.
struct sample {
    const char* name;
    int last_part;
    const char* known_difference = nullptr;
};

const sample samples[] = {
    {"iso2022jp_7bit", 1},
    {"crlf_line_ends", 1},
    {"subject_two_encoded_words", 1},
    {"from_folded_inside_address", 1},
    {"to_folded_after_commas", 1},
    {"attachment_rfc2231_single", 2},
    {"attachment_rfc2231_continued", 2},
    {"html_only", 2},
    {"multipart_alternative", 2},
    // Only the top level of a multipart is split: the text inside the
    // nested multipart/alternative is no text part of ours.
    {"nested_multipart", 2, "body text"},
    {"utf8_quoted_printable", 1},
    {"shift_jis_base64", 1},
    {"euc_jp_8bit", 1},
    {"no_blank_line_after_header", 0},
    {"line_over_1000_bytes", 1},
};

// Files a sample as filing does: unfold the download file, then split it
// into a fresh message directory.
int file_sample(const temp_dir& dir, const sample& s) {
    write_bytes(dir / "0.pop", read_bytes(mail_data + s.name + ".eml"));
    EXPECT_TRUE(unfold_header_file(dir.cp("0.pop")));
    std::filesystem::create_directory(dir / ".0");
    return split_message(dir.cp("0.pop"), dir.cp(".0/"));
}

TEST(SampleMail, EverySampleIsListed) {
    std::set<std::string> listed, present;
    for (const sample& s : samples) listed.insert(s.name);
    for (const auto& entry : std::filesystem::directory_iterator(mail_data)) {
        if (entry.path().extension() == ".eml") present.insert(entry.path().stem().string());
    }
    EXPECT_EQ(listed, present);
}

TEST(SampleMail, StoredFilesAreExactlyTheExpectedOnes) {
    for (const sample& s : samples) {
        SCOPED_TRACE(s.name);
        temp_dir dir;
        EXPECT_EQ(file_sample(dir, s), s.last_part);
        EXPECT_FALSE(exists(dir / "0.pop"));
        std::string expected = mail_data + s.name + ".stored/";
        names files = list_names(expected);
        ASSERT_EQ(list_names(dir / ".0"), files);
        for (const std::string& name : files)
            EXPECT_EQ(read_bytes(dir / ".0/" + name), read_bytes(expected + name)) << "file " << name;
    }
}

// Python's subject, body text and file names, as python_reference.py prints them.
names python_reading(const std::string& eml) {
    std::string output = python_output("mail/python_reference.py", eml);
    names fields;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\0', start)) != std::string::npos; start = end + 1)
        fields.push_back(output.substr(start, end - start));
    fields.push_back(output.substr(start));
    return fields;
}

// Line ends and final line feeds are not compared.
std::string comparable(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') out.push_back(text[i]);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

names our_reading(const temp_dir& dir, int last_part) {
    std::string base = dir.cp(".0/");
    names fields{u8(get_subject(base + "0", 1000))};
    std::string body;
    if (last_part >= 1 && find_text_part(base) == 1) {
        EXPECT_TRUE(read_text_file(base + "1", body));
        body.erase(0, 1);  // the blank line in front of the text
    }
    fields.push_back(u8(body));
    for (int part = 1; part <= last_part; ++part) {
        std::string name;
        if (get_part_filename(base, part, name, 256)) fields.push_back(u8(name));
    }
    return fields;
}

TEST(SampleMail, PythonReadsTheSameSubjectBodyAndFileNames) {
    QM_REQUIRE_PYTHON3();
    for (const sample& s : samples) {
        SCOPED_TRACE(s.name);
        temp_dir dir;
        ASSERT_EQ(file_sample(dir, s), s.last_part);
        names theirs = python_reading(mail_data + s.name + ".eml");
        names ours = our_reading(dir, s.last_part);
        ASSERT_GE(theirs.size(), 2u);
        EXPECT_EQ(comparable(ours[0]), comparable(theirs[0])) << "subject";
        if (s.known_difference && std::string(s.known_difference) == "body text") {
            EXPECT_NE(comparable(ours[1]), comparable(theirs[1])) << "known difference no longer holds";
        } else {
            EXPECT_EQ(comparable(ours[1]), comparable(theirs[1])) << "body text";
        }
        EXPECT_EQ(names(ours.begin() + 2, ours.end()),
                  names(theirs.begin() + 2, theirs.end()))
            << "file names";
    }
}

}  // namespace
}  // namespace qm
