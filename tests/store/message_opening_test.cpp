#include "store/message_opening.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config/profile.h"
#include "config/settings.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/message_status.h"
#include "support/recording_program.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::read_bytes;
using test::sj;
using runs = std::vector<std::vector<std::string>>;

class message_opening_test : public ::testing::Test {
protected:
    test::temp_dir dir;
    program_context saved_context = context();
    Settings saved_settings = settings();
    test::scoped_env path{"PATH", (dir / "bin:" + std::string(getenv("PATH") ? getenv("PATH") : "")).c_str()};
    test::recording_program viewer{dir / "bin/viewer", dir / "viewer.log"};
    test::recording_program editor{dir / "bin/editor", dir / "editor.log"};
    test::recording_program opener{dir / "bin/xdg-open", dir / "xdg.log"};
    test::recording_reporter report;
    std::string account = dir.cp("acct/"), inbox = dir.cp("acct/ 受信箱/");
    const std::string header = "From: a@example.com\r\nTo: b@example.com\r\nSubject: " + sj("件名") +
                               "\r\n\tmore\r\nX-Mailer: m\r\nResent-Date: d\r\n";

    message_opening_test() {
        set_context({dir.cp("data/"), dir.cp("tmp/"), dir.cp("work/"), dir.cp("bin/")});
        test::write_bytes(dir / "data/quillmere.ini", "[string]\r\nopen header=From,Subject,Resent-\r\n");
        make_directory(dir.cp("tmp/"));
        settings().text_viewer = sj(viewer.path());
        settings().text_editor = sj(editor.path());
    }
    ~message_opening_test() override {
        set_context(saved_context);
        settings() = saved_settings;
    }
    // Message `number` of the folder (UTF-8, below the account): its type and files.
    void message(const std::string& folder, int number, char type, const std::vector<std::string>& parts) {
        std::string base = dir / ("acct/" + folder + "." + std::to_string(number) + "/");
        test::write_bytes(base + "status.ini", std::string("[mail status]\r\ntype=") + type + "\r\n");
        for (std::size_t i = 0; i < parts.size(); ++i) test::write_bytes(base + std::to_string(i), parts[i]);
    }
    char type_of(int number) {
        return profile_read_char(inbox + "." + std::to_string(number) + "/status.ini", status_section, "type", '?');
    }
};

TEST_F(message_opening_test, a_new_message_opens_as_a_read_only_copy_and_becomes_read) {
    message(" 受信箱/", 0, '!', {header, "\r\n" + sj("本文") + "\r\n"});
    open_outcome whole = open_message(inbox, account, 0, true, report);
    EXPECT_TRUE(whole.ok && !whole.became_read && type_of(0) == '!');
    open_outcome opened = open_message(inbox, account, 0, false, report);
    EXPECT_TRUE(opened.ok && opened.became_read && type_of(0) == 'R');

    ASSERT_EQ(viewer.wait_for_runs(2), (runs{{dir / "tmp/qlm_0000.TXT"}, {dir / "tmp/qlm_0001.TXT"}}));
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.TXT"), header);
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0001.TXT"),
              "From: a@example.com\r\nSubject: " + sj("件名") + "\r\n\tmore\r\nResent-Date: d\r\n\r\n\r\n" + sj("本文") + "\r\n");
    struct stat status;
    ASSERT_EQ(::stat((dir / "tmp/qlm_0001.TXT").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0400u);
}

TEST_F(message_opening_test, drafts_open_in_the_editor_except_in_the_trash) {
    message(" ごみ箱/sub/", 0, 'D', {"To: x\r\n", "text\r\n"});
    message(" 送信箱/草稿/", 3, 'D', {"To: x\r\n", "text\r\n"});
    EXPECT_TRUE(open_message(dir.cp("acct/ ごみ箱/sub/"), account, 0, false, report).ok);
    EXPECT_TRUE(open_message(dir.cp("acct/ 送信箱/草稿/"), account, 3, false, report).ok);
    EXPECT_TRUE(open_message(dir.cp("acct/ 送信箱/草稿/"), account, 3, true, report).ok);
    const std::string draft = dir / "acct/ 送信箱/草稿/.3/";
    EXPECT_EQ(editor.wait_for_runs(2), (runs{{draft + "0"}, {draft + "1"}}));
    EXPECT_TRUE(test::list_names(dir / "tmp").empty());
}

TEST_F(message_opening_test, a_batch_file_is_refused_and_a_message_without_text_shows_nothing) {
    message(" 受信箱/", 0, '!', {header, "\r\ntext\r\n"});
    message(" 受信箱/", 1, '!', {header, "Content-Type: image/png\r\n\r\nAAAA\r\n"});
    settings().text_viewer = dir.cp("view.BAT");
    EXPECT_FALSE(open_message(inbox, account, 0, false, report).ok);
    EXPECT_EQ(type_of(0), '!');
    EXPECT_TRUE(open_message(inbox, account, 1, false, report).ok);
    EXPECT_FALSE(open_message(inbox, account, 7, false, report).ok);
    EXPECT_EQ(report.texts(), (std::vector<std::string>{"システムエラーが発生しました.", "ファイルの読み書きに失敗しました."}));
}

TEST_F(message_opening_test, parts_are_viewed_by_the_viewer_or_the_html_program) {
    const std::string html = "Content-Type: text/HTML; charset=utf-8\r\n\r\n<p>x</p>\r\n";
    const std::string text = "Content-Type: text/x-log\r\n\r\nlog\r\n";
    message(" 受信箱/", 0, 'R', {header, "\r\n", html, text});
    ASSERT_TRUE(view_part(inbox + ".0/", 2, report) && view_part(inbox + ".0/", 3, report));
    EXPECT_FALSE(view_part(inbox + ".0/", 4, report));
    EXPECT_EQ(opener.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.HTM"}});
    EXPECT_EQ(viewer.wait_for_runs(1), runs{{dir / "tmp/qlm_0000.TXT"}});
    EXPECT_EQ(read_bytes(dir / "tmp/qlm_0000.HTM") + read_bytes(dir / "tmp/qlm_0000.TXT"), html + text);
    EXPECT_EQ(report.texts(), std::vector<std::string>{"ファイルの読み書きに失敗しました."});
}

}  // namespace
}  // namespace qm
