#include "config/profile.h"
#include "store/attachments.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

// A message "m/" with its header and text part.
class Attachments : public store_test {
protected:
    std::string message = dir.cp("m/");
    Attachments() { write_message(dir / "m/", {"Subject: x\r\n", "\r\nbody\r\n"}); }
};

// (Adding, restoring and removing the last part are met through the attachment dialog.)
TEST_F(Attachments, RemovingAPartLeavesNoGap) {
    for (const char* name : {"a.bin", "b.txt", "c.dat"}) {
        write_bytes(dir / name, name);
        ASSERT_GT(add_attachment_part(message, dir.cp(name)), 1);
    }
    EXPECT_EQ(add_attachment_part(message, dir.cp("missing")), -1);
    EXPECT_FALSE(remove_attachment_part(message, 1));
    ASSERT_TRUE(remove_attachment_part(message, 2));
    std::string rows;
    for (const part_row& row : list_parts(message)) rows += std::to_string(row.number) + ":" + row.file_name + " ";
    EXPECT_EQ(rows, "2:b.txt 3:c.dat ");
    ASSERT_TRUE(remove_attachment_part(message, 3));
    EXPECT_EQ(profile_read_char(dir.cp("m/status.ini"), status_section, status_key_attachment, '?'), '+');
    EXPECT_EQ(list_names(dir / "m"), (names{"0", "1", "2", "status.ini"}));
}

// (Received parts listed, restored and renamed are met through quillmere-cli parts and the attachment dialog.)
TEST(SafeAttachmentName, OnlyTheLastPathComponentIsOffered) {
    const std::pair<std::string, std::string> rows[] = {
        {"report.pdf", "report.pdf"}, {"../../etc/passwd", "passwd"}, {"C:\\tmp\\..\\x.exe", "x.exe"},
        {"dir/", "attachment"},       {"..", "attachment"},           {"a/.", "attachment"},
        {"", "attachment"},           {sj("表.txt"), sj("表.txt")},  // 表 ends in the byte of "\"
        {sj("../ソ/能力.doc"), sj("能力.doc")}, {"\x81/etc", "etc"},  // a lead byte never takes a "/" along
        {".bashrc", "bashrc"}, {"-rf .txt", "rf .txt"}, {"a\x1b]0;x\x07.txt", "a_]0;x_.txt"}, {"...", "attachment"}};
    for (const auto& [name, offered] : rows) EXPECT_EQ(safe_attachment_name(name), offered) << name;
    // Cut to 255 bytes on disk at a character, the extension kept.
    EXPECT_EQ(safe_attachment_name(std::string(300, 'x') + ".pdf"), std::string(251, 'x') + ".pdf");
    std::string japanese;
    for (int i = 0; i < 100; ++i) japanese += sj("表");
    EXPECT_EQ(safe_attachment_name(japanese + ".doc"), japanese.substr(0, 2 * 83) + ".doc");
}

}  // namespace
}  // namespace qm::test
