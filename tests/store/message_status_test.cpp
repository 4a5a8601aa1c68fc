#include <gtest/gtest.h>

#include "store/message_status.h"
#include "store/text_search.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::read_bytes;
using test::sj;
using test::temp_dir;
using test::write_bytes;

// A message directory with a header file and, optionally, a status file.
std::string message_with(const temp_dir& dir, const std::string& header, const std::string& status) {
    write_bytes(dir / ".0/0", header);
    if (!status.empty()) write_bytes(dir / ".0/status.ini", status);
    return dir.cp(".0/0");
}

TEST(MessageStatus, InitialStatusIsWrittenKeyByKey) {
    temp_dir dir;
    test::write_bytes(dir / ".0/0", "");
    std::string status = status_file_of(dir.cp(".0/"));
    ASSERT_TRUE(write_initial_status(status, type_new, true));
    EXPECT_EQ(read_bytes(dir / ".0/status.ini"),
              "[mail status]\r\ntype=!\r\nattachment=+\r\nreplied=-\r\nforwarded=-\r\n");
    EXPECT_EQ(read_attribute_text(dir.cp(".0/0")), "!@  ");

    ASSERT_TRUE(write_status_type(status, type_read));
    ASSERT_TRUE(write_status_flag(status, status_key_replied, true));
    EXPECT_EQ(read_bytes(dir / ".0/status.ini"),
              "[mail status]\r\ntype=R\r\nattachment=+\r\nreplied=+\r\nforwarded=-\r\n");
    EXPECT_EQ(read_attribute_text(dir.cp(".0/0")), " @R ");
}

TEST(MessageStatus, AttributeTextFromTheStatusFile) {
    struct sample {
        const char* status;
        const char* text;
    };
    for (sample s : {sample{"[mail status]\ntype=!\nattachment=+\n", "!@  "},
                     sample{"[mail status]\ntype=R\nattachment=-\nreplied=-\nforwarded=-\n", "    "},
                     sample{"[mail status]\ntype=S\nreplied=ON\nforwarded=on\n", "S RF"},
                     sample{"[mail status]\ntype=D\nattachment=1\nreplied=OFF\nforwarded=yes\n", "D   "},
                     sample{"[mail status]\ntype=Draft\n", "D   "},
                     sample{"[mail status]\ntype=\n", "    "},
                     sample{"[other]\ntype=!\n", "    "}}) {
        temp_dir dir;
        EXPECT_EQ(read_attribute_text(message_with(dir, "Subject: x\r\n", s.status)), s.text) << s.status;
    }
    // No status file at all: read, no flags.
    temp_dir dir;
    EXPECT_EQ(read_attribute_text(message_with(dir, "Subject: x\r\n", "")), "    ");
    EXPECT_EQ(read_attribute_text(dir.cp(".9/0")), "    ");
}

TEST(MessageStatus, StatusLineInTheHeaderWins) {
    temp_dir dir;
    std::string status = "[mail status]\r\ntype=!\r\nattachment=-\r\n";
    EXPECT_EQ(read_attribute_text(message_with(dir, "Subject: x\r\nX-Quillmere-Status: R@R \r\n", status)), " @R ");
    EXPECT_EQ(read_attribute_text(message_with(dir, "x-quillmere-status: !@S \r\n", status)), "S@  ");
    EXPECT_EQ(read_attribute_text(message_with(dir, "X-quillmere-Status: D\r\n", status)), "D");
    EXPECT_EQ(read_attribute_text(message_with(dir, "X-quillmere-Status: !@RF*extra\r\n", status)), "!@RF*");
    // A status line with nothing after its colon is an empty text, read no
    // further than the line.
    EXPECT_EQ(read_attribute_text(message_with(dir, "X-quillmere-Status:\r\nSubject: abc\r\n", status)), "");
    // Only a line that begins with the name counts.
    EXPECT_EQ(read_attribute_text(message_with(dir, "Subject: X-quillmere-Status: R@RF\r\n", status)), "!   ");

    std::string text;
    EXPECT_TRUE(header_status_text("From: a\nX-QUILLMERE-STATUS: !@  \n", text));
    EXPECT_EQ(text, "!@  ");
    EXPECT_FALSE(header_status_text("From: a\n", text));
    // The header is read in 1000-byte pieces: a status line hidden in the
    // middle of a long line is not found, one that starts a piece is.
    EXPECT_FALSE(header_status_text("X-A: " + std::string(200, 'a') + "X-quillmere-Status: R@RF\n", text));
    EXPECT_TRUE(header_status_text("X-A: " + std::string(995, 'a') + "X-quillmere-Status: !@RF\n", text));
    EXPECT_EQ(text, "!@RF");
}

TEST(TextSearch, FindsTextOnCharacterBoundariesWithinPieces) {
    temp_dir dir;
    // 表 is 95 5C: its second byte is a backslash.
    write_bytes(dir / "f", sj("表示") + "\r\n" + sj("検索する言葉") + "\r\n");
    EXPECT_TRUE(file_contains_text(dir.cp("f"), sj("言葉")));
    EXPECT_TRUE(file_contains_text(dir.cp("f"), sj("示") + "\n"));
    EXPECT_FALSE(file_contains_text(dir.cp("f"), sj("示\n検")));  // spans two lines
    EXPECT_FALSE(file_contains_text(dir.cp("f"), "\\"));
    EXPECT_FALSE(file_contains_text(dir.cp("f"), "\r"));
    EXPECT_FALSE(file_contains_text(dir.cp("missing"), "a"));
    // A match across the 1000-byte pieces of a long line is not found.
    write_bytes(dir / "long", std::string(998, 'x') + "needle\r\n");
    EXPECT_FALSE(file_contains_text(dir.cp("long"), "needle"));
    EXPECT_TRUE(file_contains_text(dir.cp("long"), "edle"));
}

}  // namespace
}  // namespace qm
