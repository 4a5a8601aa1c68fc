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
    char flag() { return profile_read_char(dir.cp("m/status.ini"), status_section, status_key_attachment, '?'); }
    std::string rows() {
        std::string text;
        for (const part_row& row : list_parts(message)) text += std::to_string(row.number) + ":" + row.file_name + " ";
        return text;
    }
};

TEST_F(Attachments, PartsAreAddedAndRemovedWithoutGaps) {
    const std::string binary = bytes_from_zero(256);
    const std::string files[] = {"a.bin", "b.txt", "c.dat"};
    for (int i = 0; i < 3; ++i) {
        write_bytes(dir / files[i], binary + files[i]);
        EXPECT_EQ(add_attachment_part(message, dir.cp(files[i])), i + 2);
    }
    EXPECT_EQ(add_attachment_part(message, dir.cp("missing")), -1);
    EXPECT_EQ(flag(), '+');
    const part_row first = list_parts(message)[0];
    EXPECT_EQ(first.media_type + std::to_string(first.size), "application/octet-stream" + std::to_string(read_bytes(dir / "m/2").size()));
    ASSERT_TRUE(restore_part(message, 3, dir.cp("restored")));
    EXPECT_EQ(read_bytes(dir / "restored"), binary + "b.txt");

    EXPECT_FALSE(remove_attachment_part(message, 1));
    ASSERT_TRUE(remove_attachment_part(message, 2));
    EXPECT_EQ(rows(), "2:b.txt 3:c.dat ");
    ASSERT_TRUE(remove_attachment_part(message, 3));
    EXPECT_EQ(flag(), '+');
    ASSERT_TRUE(remove_attachment_part(message, 2));
    EXPECT_EQ(flag(), '-');
    EXPECT_EQ(list_names(dir / "m"), (names{"0", "1", "status.ini"}));
}

TEST_F(Attachments, ReceivedPartsRestoreDecodedAndTakeNewNames) {
    write_bytes(dir / "m/2", "Content-Type: text/html\r\n\r\n<p>x</p>\r\n");
    write_bytes(dir / "m/3", "Content-Type: application/x; name=\"old.bin\"\r\nContent-Transfer-Encoding: base64\r\n"
                             "Content-Disposition: attachment; filename=\"../../evil.bin\"\r\n\r\nAAEC/w0KGg==\r\n");
    write_bytes(dir / "m/4", "Content-Type: text/plain; name=\"note.txt\"\r\n"
                             "Content-Transfer-Encoding: quoted-printable\r\n\r\ncaf=E9 =3D 1=\r\n more\r\n");
    EXPECT_EQ(rows(), "2: 3:../../evil.bin 4:note.txt ");  // the first text/plain part is the body
    ASSERT_TRUE(restore_part(message, 3, dir.cp("b64")) && restore_part(message, 4, dir.cp("qp")));
    EXPECT_EQ(read_bytes(dir / "b64") + read_bytes(dir / "qp"), std::string("\x00\x01\x02\xff\r\n\x1a", 7) + "caf\xe9 = 1 more\r\n");

    ASSERT_TRUE(rename_part(message, 3, sj("新しい名前.bin")));
    EXPECT_EQ(rows(), "2: 3:" + sj("新しい名前.bin") + " 4:note.txt ");
    EXPECT_FALSE(rename_part(message, 0, "header"));
    EXPECT_EQ(read_bytes(dir / "m/0"), "Subject: x\r\n");
}

TEST(SafeAttachmentName, OnlyTheLastPathComponentIsOffered) {
    const std::pair<std::string, std::string> rows[] = {
        {"report.pdf", "report.pdf"}, {"../../etc/passwd", "passwd"}, {"C:\\tmp\\..\\x.exe", "x.exe"},
        {"dir/", "attachment"},       {"..", "attachment"},           {"a/.", "attachment"},
        {"", "attachment"},           {sj("表.txt"), sj("表.txt")},  // 表 ends in the byte of "\"
        {sj("../ソ/能力.doc"), sj("能力.doc")}};
    for (const auto& [name, offered] : rows) EXPECT_EQ(safe_attachment_name(name), offered) << name;
}

}  // namespace
}  // namespace qm::test
