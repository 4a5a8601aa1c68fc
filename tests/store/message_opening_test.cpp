#include "store/message_opening.h"

#include "config/profile.h"
#include "store/store_fixture.h"
#include "support/recording_program.h"

namespace qm::test {
namespace {

using runs = std::vector<std::vector<std::string>>;

// Viewer, editor and xdg-open are scripts that record how they were started.
class MessageOpening : public store_test {
protected:
    scoped_env path{"PATH", (dir / "bin:" + std::string(getenv("PATH") ? getenv("PATH") : "")).c_str()};
    recording_program viewer{dir / "bin/viewer", dir / "viewer.log"};
    recording_program editor{dir / "bin/editor", dir / "editor.log"};
    recording_program opener{dir / "bin/xdg-open", dir / "xdg.log"};
    std::string inbox = cp(" 受信箱/");
    const std::string header = "From: a@example.com\r\nTo: b@example.com\r\nSubject: " + sj("件名") +
                               "\r\n\tmore\r\nX-Mailer: m\r\nResent-Date: d\r\n";

    MessageOpening() {
        set_context({dir.cp(), dir.cp("tmp/"), dir.cp("work/"), dir.cp("bin/")});
        write_bytes(dir / "quillmere.ini", "[string]\r\nopen header=From,Subject,Resent-\r\n");
        make_directory(dir.cp("tmp/"));
        settings().text_viewer = sj(viewer.path());
        settings().text_editor = sj(editor.path());
    }
    char type_of(int number) {
        return profile_read_char(inbox + "." + std::to_string(number) + "/status.ini", status_section, "type", '?');
    }
};

TEST_F(MessageOpening, ANewMessageOpensAsAReadOnlyCopyAndBecomesRead) {
    message(" 受信箱/", 0, '!', {header, "\r\n" + sj("本文") + "\r\n"});
    open_outcome whole = open_message(inbox, account, 0, true, report);
    EXPECT_TRUE(whole.ok && !whole.became_read && type_of(0) == '!');
    open_outcome opened = open_message(inbox, account, 0, false, report);
    EXPECT_TRUE(opened.ok && opened.became_read && type_of(0) == 'R');

    ASSERT_EQ(viewer.wait_for_runs(2), (runs{{dir / "tmp/qlm_0000.TXT"}, {dir / "tmp/qlm_0001.TXT"}}));
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"), header);
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0001.TXT"),
              "From: a@example.com\r\nSubject: " + sj("件名") + "\r\n\tmore\r\nResent-Date: d\r\n\r\n\r\n" + sj("本文") + "\r\n");
    EXPECT_EQ(mode_of(dir / "tmp/qlm_0001.TXT"), 0400u);
}

TEST_F(MessageOpening, DraftsOpenInTheEditorExceptInTheTrash) {
    message(" ごみ箱/sub/", 0, 'D', {"To: x\r\n", "text\r\n"});
    message(" 送信箱/草稿/", 3, 'D', {"To: x\r\n", "text\r\n"});
    EXPECT_TRUE(open_message(cp(" ごみ箱/sub/"), account, 0, false, report).ok);
    EXPECT_TRUE(open_message(cp(" 送信箱/草稿/"), account, 3, false, report).ok);
    EXPECT_TRUE(open_message(cp(" 送信箱/草稿/"), account, 3, true, report).ok);
    const std::string draft = at(" 送信箱/草稿/.3/");
    EXPECT_EQ(editor.wait_for_runs(2), (runs{{draft + "0"}, {draft + "1"}}));
    EXPECT_TRUE(list_names(dir / "tmp").empty());
}

TEST_F(MessageOpening, ABatchFileIsRefusedAndAMessageWithoutTextShowsNothing) {
    message(" 受信箱/", 0, '!', {header, "\r\ntext\r\n"});
    message(" 受信箱/", 1, '!', {header, "Content-Type: image/png\r\n\r\nAAAA\r\n"});
    settings().text_viewer = dir.cp("view.BAT");
    EXPECT_FALSE(open_message(inbox, account, 0, false, report).ok);
    EXPECT_EQ(type_of(0), '!');
    EXPECT_TRUE(open_message(inbox, account, 1, false, report).ok);
    EXPECT_FALSE(open_message(inbox, account, 7, false, report).ok);
    EXPECT_EQ(report.texts(), (names{"システムエラーが発生しました.", file_error}));
}

TEST_F(MessageOpening, PartsAreViewedByTheViewerOrTheHtmlProgram) {
    const std::string html = "Content-Type: text/HTML; charset=utf-8\r\n\r\n<p>x</p>\r\n";
    const std::string text = "Content-Type: text/x-log\r\n\r\nlog\r\n";
    // An attached text file is kept as it was sent, and shown as text.
    const std::string attached = "Content-Type: text/plain; charset=utf-8; name=\"a.txt\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    message(" 受信箱/", 0, 'R', {header, "\r\n", html, text, attached + "5pel5pysCg==\r\n"});
    ASSERT_TRUE(view_part(inbox + ".0/", 2, report) && view_part(inbox + ".0/", 3, report) && view_part(inbox + ".0/", 4, report));
    EXPECT_FALSE(view_part(inbox + ".0/", 5, report));
    EXPECT_EQ(opener.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.HTM"}});
    EXPECT_EQ(viewer.wait_for_runs(2), (runs{{dir / "tmp/qlm_0000.TXT"}, {dir / "tmp/qlm_0001.TXT"}}));
    // The HTML alone, in UTF-8 and marked so.
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.HTM"), "\xEF\xBB\xBF<p>x</p>\n");
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"), text);
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0001.TXT"), attached + sj("日本") + "\r\n");
    EXPECT_EQ(report.texts(), names{file_error});
}

// ---- attachments of a message "m/" ----

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
    EXPECT_EQ(list_parts(message)[0].media_type, "application/octet-stream");
    EXPECT_EQ(list_parts(message)[0].size, static_cast<std::int64_t>(read_bytes(dir / "m/2").size()));
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
    ASSERT_TRUE(restore_part(message, 3, dir.cp("b64")));
    EXPECT_EQ(read_bytes(dir / "b64"), std::string("\x00\x01\x02\xff\r\n\x1a", 7));
    ASSERT_TRUE(restore_part(message, 4, dir.cp("qp")));
    EXPECT_EQ(read_bytes(dir / "qp"), "caf\xe9 = 1 more\r\n");

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
