#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "message/header_fields.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::read_bytes;
using test::sj;
using test::temp_dir;
using test::write_bytes;

constexpr std::string_view two_line_to = "To: a@example.jp,\r\n b@example.jp\r\nSubject: x\r\n";

// Runs a rewrite of `before` and returns the file afterwards.
std::string rewritten(const std::string& before, const std::function<bool(const std::string&)>& rewrite,
                      bool expect = true) {
    temp_dir dir;
    write_bytes(dir / "0", before);
    EXPECT_EQ(rewrite(dir.cp("0")), expect) << before;
    return read_bytes(dir / "0");
}

TEST(HeaderFields, ReadingValues) {
    temp_dir dir;
    write_bytes(dir / "0", "Message-ID: <1@example.jp> (x)\r\nSUBJECT:\t " + sj("会議の件") +
                               "\r\nX-Quillmere-Status: R@R \r\nsubject: second\r\n");
    EXPECT_EQ(get_subject(dir.cp("0"), 100), sj("会議の件"));
    // Cut at whole characters: 5 bytes of room hold two kanji.
    EXPECT_EQ(get_subject(dir.cp("0"), 6), sj("会議"));
    EXPECT_EQ(get_subject(dir.cp("none"), 100), "???");
    std::string value;
    EXPECT_TRUE(get_header_token(dir.cp("0"), value, 100, "message-id"));
    EXPECT_EQ(value, "<1@example.jp>");
    EXPECT_FALSE(get_header_token(dir.cp("0"), value, 100, "In-Reply-To"));
    EXPECT_TRUE(get_status_field(dir.cp("0"), "quillmere", value, 10));
    EXPECT_EQ(value, "R@R ");
    EXPECT_TRUE(has_header_line(dir.cp("0"), "x-quillmere"));
    EXPECT_FALSE(has_header_line(dir.cp("0"), "Bcc"));

    write_bytes(dir / "1", "To: a@example.jp\r\n");
    EXPECT_EQ(get_subject(dir.cp("1"), 100), "???");
    EXPECT_FALSE(get_status_field(dir.cp("1"), "quillmere", value, 10));
}

TEST(HeaderFields, SubjectIsReplacedOrAppended) {
    auto set = [](std::string subject) { return [subject](const std::string& p) { return set_subject(p, subject); }; };
    EXPECT_EQ(rewritten("Subject: old\r\n folded\r\nTo: a\r\nsubject: again\r\n", set(sj("新しい件名"))),
              "Subject: " + sj("新しい件名") + "\r\nTo: a\r\nSubject: " + sj("新しい件名") + "\r\n");
    EXPECT_EQ(rewritten("To: a", set("x")), "To: a\r\nSubject: x\r\n");
    // A value that would add a line is refused.
    EXPECT_EQ(rewritten("Subject: old\r\n", set("x\nBcc: y"), false), "Subject: old\r\n");
}

TEST(HeaderFields, AddingAnAddressKeepsTheListWhole) {
    auto add = [](const std::string& p) { return add_header_value(p, "To", "c@example.jp"); };
    EXPECT_EQ(rewritten(std::string(two_line_to), add),
              "To: a@example.jp,\r\n c@example.jp,\r\n b@example.jp\r\nSubject: x\r\n");
    EXPECT_EQ(rewritten("To: a@example.jp  \r\nCc: d\r\nTo: e\r\n", add),
              "To: a@example.jp,\r\n c@example.jp\r\nCc: d\r\nTo: e\r\n");
    EXPECT_EQ(rewritten("Subject: x\r\n", add), "Subject: x\r\nTo: c@example.jp\r\n");
}

TEST(HeaderFields, RemovingOneAddress) {
    struct removal {
        std::string before;
        int index;
        std::string after;
    };
    const removal cases[] = {
        {std::string(two_line_to), 1, "To: a@example.jp\r\nSubject: x\r\n"},
        {std::string(two_line_to), 0, "To:\r\n b@example.jp\r\nSubject: x\r\n"},
        {"To: a@example.jp\r\nSubject: x\r\n", 0, "Subject: x\r\n"},
        {"To: a@x.jp, \"Doe, J\" <j@x.jp>, c@x.jp\r\n", 1, "To: a@x.jp, c@x.jp\r\n"},
        {"To: a@x.jp, b@x.jp,\r\n c@x.jp\r\n", 0, "To: b@x.jp,\r\n c@x.jp\r\n"},
        {"To: a@x.jp, b@x.jp,\r\n c@x.jp,\r\n d@x.jp\r\n", 1, "To: a@x.jp,\r\n c@x.jp,\r\n d@x.jp\r\n"},
        {"To: a@x.jp,\r\n c@x.jp,\r\n d@x.jp\r\n", 1, "To: a@x.jp,\r\n d@x.jp\r\n"},
        {"To: a@x.jp\r\n", 3, "To: a@x.jp\r\n"},
        {"Subject: x\r\n", 0, "Subject: x\r\n"},
    };
    for (const removal& r : cases) {
        EXPECT_EQ(rewritten(r.before, [&](const std::string& p) { return remove_header_address(p, "to", r.index); }),
                  r.after)
            << r.before << " index " << r.index;
    }
    // An address left open fails and leaves the file.
    std::string open = "To: \"a <a@x.jp>\r\n";
    EXPECT_EQ(rewritten(open, [](const std::string& p) { return remove_header_address(p, "To", 0); }, false), open);
}

TEST(HeaderFields, BccAndCopiedFields) {
    EXPECT_EQ(rewritten("To: a\r\nBCC: b,\r\n c\r\nSubject: s\r\n\r\nBcc: body\r\n", remove_bcc),
              "To: a\r\nSubject: s\r\n\r\nBcc: body\r\n");

    temp_dir dir;
    write_bytes(dir / "0", "Subject: s\r\n cont\r\nsubject: lower\r\nResent-To: r\r\n\tcont\r\nTo: t\r\n cont\r\n");
    const std::vector<std::string> prefixes{"Subject", "", "Resent-"};
    const std::vector<std::string> none;
    ASSERT_TRUE(copy_header_fields(dir.cp("0"), dir.cp("a"), &prefixes));
    EXPECT_EQ(read_bytes(dir / "a"), "Subject: s\r\n cont\r\nResent-To: r\r\n\tcont\r\n");
    ASSERT_TRUE(copy_header_fields(dir.cp("0"), dir.cp("b"), nullptr));
    EXPECT_EQ(read_bytes(dir / "b"), read_bytes(dir / "0"));
    ASSERT_TRUE(copy_header_fields(dir.cp("0"), dir.cp("c"), &none));
    EXPECT_EQ(read_bytes(dir / "c"), "");
    EXPECT_FALSE(copy_header_fields(dir.cp("missing"), dir.cp("d"), nullptr));
}

TEST(HeaderFields, AddressLineForms) {
    std::string line;
    EXPECT_TRUE(format_address_line(line, 100, "To", "a@x.jp", ""));
    EXPECT_EQ(line, "To: a@x.jp\n");
    EXPECT_TRUE(format_address_line(line, 100, "To", "a@x.jp", "Taro Yamada"));
    EXPECT_EQ(line, "To: \"Taro Yamada\" <a@x.jp>\n");
    EXPECT_TRUE(format_address_line(line, 100, "Cc", "a@x.jp", sj("山田")));
    EXPECT_EQ(line, "Cc: a@x.jp (" + sj("山田") + ")\n");
    EXPECT_FALSE(format_address_line(line, 10, "To", "a@x.jp", ""));
    EXPECT_EQ(line, "To: a@x.j");
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

    std::string value;
    EXPECT_TRUE(get_part_header_value("Content-Transfer-Encoding", value, base, 2, 128, "7bit"));
    EXPECT_EQ(value, "7bit");
    EXPECT_TRUE(get_content_type(base, 2, value, 128));
    EXPECT_EQ(value, "Text/HTML");
    EXPECT_TRUE(get_content_type(base, 1, value, 128));
    EXPECT_EQ(value, "text/plain");
    EXPECT_FALSE(get_content_type(base, 2, value, 9));  // "Text/HTML" and its end need 10
    EXPECT_FALSE(get_content_type(base, 5, value, 128));  // no end after the value
    EXPECT_FALSE(get_content_type(base, 9, value, 128));

    EXPECT_TRUE(get_part_filename(base, 3, value, 100));
    EXPECT_EQ(value, sj("見積.pdf"));
    EXPECT_TRUE(get_part_filename(base, 4, value, 100));
    EXPECT_EQ(value, "second");
    EXPECT_FALSE(get_part_filename(base, 2, value, 100));

    EXPECT_EQ(find_text_part(base), 1);
    std::filesystem::remove(dir / "1");
    EXPECT_EQ(find_text_part(base), -1);

    ASSERT_TRUE(set_part_filename(base, 3, sj("新.pdf")));
    EXPECT_TRUE(get_part_filename(base, 3, value, 100));
    EXPECT_EQ(value, sj("新.pdf"));
    ASSERT_TRUE(set_part_filename(base, 4, "n.txt"));
    EXPECT_EQ(read_bytes(dir / "4"), "Content-Type: text/plain; name=first\r\nX: name=\"second\r\n"
                                     "Content-Disposition: attachment; filename=\"n.txt\"\r\n\r\n");
    EXPECT_FALSE(set_part_filename(base, 4, "a\"b"));
}

TEST(HeaderFields, AFailedRewriteLeavesTheFile) {
    const std::function<bool(const std::string&)> rewrites[] = {
        [](const std::string& p) { return set_subject(p, "x"); },
        [](const std::string& p) { return add_header_value(p, "To", "c@x.jp"); },
        [](const std::string& p) { return remove_header_address(p, "To", 0); },
        remove_bcc,
    };
    for (const auto& rewrite : rewrites) {
        temp_dir dir;
        std::string before = "To: a@x.jp\r\nBcc: b@x.jp\r\nSubject: s\r\n";
        write_bytes(dir / "0", before);
        std::filesystem::create_directory(dir / "0.$$$");
        EXPECT_FALSE(rewrite(dir.cp("0")));
        EXPECT_EQ(read_bytes(dir / "0"), before);
        EXPECT_EQ(test::list_names(dir.path()), (std::vector<std::string>{"0", "0.$$$"}));
    }
    temp_dir dir;
    write_bytes(dir / "2", "Content-Disposition: attachment; filename=a\r\n\r\nx\r\n");
    std::filesystem::create_directory(dir / "2.$$$");
    EXPECT_FALSE(set_part_filename(dir.cp(), 2, "b"));
    EXPECT_EQ(read_bytes(dir / "2"), "Content-Disposition: attachment; filename=a\r\n\r\nx\r\n");
}

}  // namespace
}  // namespace qm
