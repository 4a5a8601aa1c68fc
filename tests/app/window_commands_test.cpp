// What the window's commands do to the mailbox: opening, folders, the trash
// and closing, each checked on disk.

#include <QProcess>

#include "app/window_fixture.h"
#include "config/profile.h"
#include "navigator/command_ids.h"
#include "store/draft_in_use.h"
#include "support/recording_program.h"

namespace qm::test {
namespace {

using WindowCommands = window_test;

// Enter and Shift+Enter hand the viewer a copy; only the first kind turns the mail read.
TEST_F(WindowCommands, EnterHandsTheViewerACopyAndTheMailTurnsRead) {
    recording_program viewer(dir / "bin/viewer", dir / "viewer.log");
    settings().text_viewer = sj(viewer.path());
    mail(" 受信箱/", 1, "会議");
    mail(" 受信箱/", 2, "two");
    open();
    list().set_focused_row(row_of("会議"));
    QTest::keyClick(&list(), Qt::Key_Return);
    ASSERT_EQ(viewer.wait_for_runs(1).size(), 1u);
    list().set_focused_row(row_of("two"));
    QTest::keyClick(&list(), Qt::Key_Return, Qt::ShiftModifier);
    const auto runs = viewer.wait_for_runs(2);
    ASSERT_EQ(runs.size(), 2u);
    const names copies = {read_bytes(runs[0][0]), read_bytes(runs[1][0])};  // in either order
    EXPECT_NE(std::find(copies.begin(), copies.end(), read_bytes(account_dir() + " 受信箱/.2/0")), copies.end());  // the header
    EXPECT_EQ(list().rows_model().rows()[static_cast<std::size_t>(row_of("会議"))].type, ' ');
    EXPECT_EQ(list().rows_model().rows()[static_cast<std::size_t>(row_of("two"))].type, '!');
}

// A refused name makes nothing and the name is asked again.
TEST_F(WindowCommands, ARefusedFolderNameIsAskedAgain) {
    layout.current = sj("標準/");
    open();
    modal_hand hand;
    hand.then_name("nul");
    hand.then_box();
    hand.then_name("Work");
    window->on_command(cmd::new_folder);
    EXPECT_EQ(hand.boxes().size(), 1u);
    EXPECT_FALSE(exists(account_dir() + "nul"));
    EXPECT_TRUE(exists(account_dir() + "Work"));
}

// A cancel at the question about unsent mail, on closing or at a log-out, keeps the window and writes no
// layout; agreeing saves it.
TEST_F(WindowCommands, ClosingAndALogOutAskAboutUnsentMailAndACancelKeepsTheWindow) {
    settings().tell_remain = true;
    mail(" 送信箱/", 1, "q", "本文", 'D');
    layout.current = sj("標準/ 送信箱/");
    open();
    modal_hand hand;
    hand.then_box(false);
    EXPECT_FALSE(window->close());
    hand.then_box(false);
    EXPECT_FALSE(window->agree_to_end_session(true));
    EXPECT_FALSE(exists(dir / "layout.ini"));
    hand.then_box(true);
    EXPECT_TRUE(window->agree_to_end_session(true));
    EXPECT_EQ(profile_read_string(dir.cp("layout.ini"), "directory", "current", ""), sj("標準/ 送信箱/"));
}

TEST_F(WindowCommands, ADraftOpenInTheNotepadStaysWhileTheOthersGoToTheTrash) {
    for (int n : {1, 2}) mail(" 送信箱/草稿/", n, "d" + std::to_string(n), "本文", 'D');
    layout.current = sj("標準/ 送信箱/草稿/");
    open();
    QProcess notepad;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QUILLMERE_HOME"), QString::fromStdString(dir.path()));
    notepad.setProcessEnvironment(environment);
    notepad.start(QStringLiteral(QUILLMERE_BINARY_DIR "/quillmere-notepad"),
                  {QString::fromStdString(account_dir() + " 送信箱/草稿/.1/1")});
    ASSERT_TRUE(notepad.waitForStarted());
    const std::string held = sj(account_dir() + " 送信箱/草稿/.1/");
    ASSERT_TRUE(QTest::qWaitFor([&] { return is_draft_in_use(held); }, 5000));
    QTest::keyClick(&list(), Qt::Key_Insert);
    window->on_command(cmd::to_trash);
    EXPECT_TRUE(exists(account_dir() + " 送信箱/草稿/.1/1"));
    EXPECT_FALSE(exists(account_dir() + " 送信箱/草稿/.2"));
    EXPECT_EQ(list_names(account_dir() + " ごみ箱"), names{".0"});
    notepad.kill();
    notepad.waitForFinished();
}

}  // namespace
}  // namespace qm::test
