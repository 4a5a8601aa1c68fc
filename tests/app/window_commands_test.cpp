// What the window's commands do to the mailbox: opening, folders, the trash and closing, each checked
// on disk. The folder's rows are read in a worker: the window draws and answers meanwhile, a later read
// replaces an earlier one, and no command acts on rows that are not the folder's as it is.

#include <QLabel>
#include <QProcess>
#include <atomic>
#include <thread>

#include "app/folder_reader.h"
#include "app/treeview_tree.h"
#include "app/window_fixture.h"
#include "config/profile.h"
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
    EXPECT_TRUE(!exists(account_dir() + "nul") && exists(account_dir() + "Work"));
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
    scoped_env home("QUILLMERE_HOME", dir.path().c_str());  // on the platform the tests run on
    QProcess notepad;
    notepad.start(QStringLiteral(QUILLMERE_BINARY_DIR "/quillmere-notepad"),
                  {QString::fromStdString(account_dir() + " 送信箱/草稿/.1/1")});
    ASSERT_TRUE(notepad.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return is_draft_in_use(sj(account_dir() + " 送信箱/草稿/.1/")); }, 5000));
    QTest::keyClick(&list(), Qt::Key_Insert);
    window->on_command(cmd::to_trash);
    EXPECT_TRUE(exists(account_dir() + " 送信箱/草稿/.1/1") && !exists(account_dir() + " 送信箱/草稿/.2"));
    EXPECT_EQ(list_names(account_dir() + " ごみ箱"), names{".0"});
    notepad.kill();
    notepad.waitForFinished();
}

class WindowReading : public window_test {
protected:
    WindowReading() {
        mail(" 受信箱/", 1, "a");
        mail("仕事/", 1, "job");
    }
    ~WindowReading() override {
        held = false;
        window.reset();
        folder_reader::set_after_read({});
    }
    // From now on every read waits in the worker until `held` is false or it is cancelled.
    void hold_reads() {
        held = true;
        folder_reader::set_after_read([this](const std::atomic<bool>& cancelled) {
            while (held && !cancelled) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    void show(const std::string& folder) { emit window->folder_tree()->folder_chosen(sj(account_dir() + folder)); }
    int rows_shown() { return window->mail_list()->rows_model().rowCount(); }
    std::string strip() { return window->count_strip()->text().toStdString(); }

    std::atomic<bool> held{false};
};

// Half a second into a read the strip says so, while timers fire; a second switch replaces the
// first, and only the last folder's rows arrive, with their count.
TEST_F(WindowReading, ALongReadLetsTheWindowRunAndOnlyTheLastFolderArrives) {
    hold_reads();
    open();
    bool ticked = false;
    QTimer::singleShot(100, [&] { ticked = true; });
    QTest::qWait(300);
    EXPECT_TRUE(window->reading() && ticked);
    EXPECT_EQ(strip(), "");  // no count for a list that is not the folder's yet
    QTest::qWait(300);
    EXPECT_EQ(strip(), "読み込み中...");
    show("仕事/");
    QTest::qWait(50);
    held = false;
    EXPECT_EQ(subjects(), (names{"..", "job"}));
    EXPECT_EQ(window->folder(), sj(account_dir() + "仕事/"));
    EXPECT_EQ(strip(), u8(list_status_text(2, false)));
}

// While a read is under way the rows shown are not acted on: a switch empties the list at once
// (the focused number 1 would name another folder's mail), and a refresh keeps the rows but
// switches the commands on rows off until the new rows are in.
TEST_F(WindowReading, CommandsWaitForTheRowsOfTheFolderShown) {
    open();
    list().set_focused_row(row_of("a"));
    ASSERT_TRUE(window->states().enabled(cmd::to_trash));
    hold_reads();
    show("仕事/");
    EXPECT_EQ(rows_shown(), 0);
    window->on_command(cmd::to_trash);
    EXPECT_TRUE(exists(account_dir() + "仕事/.1"));
    held = false;
    list().set_focused_row(row_of("job"));
    hold_reads();
    window->on_command(cmd::refresh_all);
    EXPECT_EQ(rows_shown(), 2);
    EXPECT_FALSE(window->states().enabled(cmd::to_trash));
    window->on_command(cmd::to_trash);
    EXPECT_TRUE(exists(account_dir() + "仕事/.1"));
    held = false;
    EXPECT_EQ(list().focused_row(), row_of("job"));  // the focus kept by the mail's number
    window->on_command(cmd::to_trash);
    EXPECT_FALSE(exists(account_dir() + "仕事/.1"));
}

}  // namespace
}  // namespace qm::test
