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

// The whole header alone opens without the mail turning read.
TEST_F(MessageOpening, ANewMessageOpensAsAReadOnlyCopyAndBecomesRead) {
    message(" 受信箱/", 0, '!', {header, "\r\n" + sj("本文") + "\r\n"});
    EXPECT_TRUE(open_message(inbox, account, 0, true, report).ok);
    ASSERT_EQ(viewer.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.TXT"}});
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"), header);
    EXPECT_EQ(type_of(0), '!');
    std::filesystem::remove(dir / "tmp/qlm_0000.TXT");
    open_outcome opened = open_message(inbox, account, 0, false, report);
    EXPECT_TRUE(opened.ok && opened.became_read && type_of(0) == 'R');
    ASSERT_EQ(viewer.wait_for_runs(2), (runs{{dir / "tmp/qlm_0000.TXT"}, {dir / "tmp/qlm_0000.TXT"}}));
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"),
              "From: a@example.com\r\nSubject: " + sj("件名") + "\r\n\tmore\r\nResent-Date: d\r\n\r\n\r\n" + sj("本文") + "\r\n");
    EXPECT_EQ(mode_of(dir / "tmp/qlm_0000.TXT"), 0400u);
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
    // An attached text file is shown as text, decoded (a part shown as stored is met through the attachment dialog).
    const std::string attached = "Content-Type: text/plain; charset=utf-8; name=\"a.txt\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    message(" 受信箱/", 0, 'R', {header, "\r\n", html, attached + "5pel5pysCg==\r\n"});
    ASSERT_TRUE(view_part(inbox + ".0/", 2, report) && view_part(inbox + ".0/", 3, report));
    EXPECT_FALSE(view_part(inbox + ".0/", 4, report));
    EXPECT_EQ(opener.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.HTM"}});
    EXPECT_EQ(viewer.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.TXT"}});
    // The HTML alone, in UTF-8 and marked so.
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.HTM"), "\xEF\xBB\xBF<p>x</p>\n");
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"), attached + sj("日本") + "\r\n");
    EXPECT_EQ(report.texts(), names{file_error});
}

}  // namespace
}  // namespace qm::test
