// The folder's rows are read in a worker: the window draws and answers meanwhile, a later read
// replaces an earlier one, and no command acts on rows that are not the folder's as it is.

#include <QLabel>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/folder_reader.h"
#include "app/treeview_tree.h"
#include "app/window_fixture.h"
#include "navigator/command_ids.h"

namespace qm::test {
namespace {

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
    EXPECT_TRUE(window->reading());
    EXPECT_TRUE(ticked);
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
