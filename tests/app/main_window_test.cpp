// The main window on the offscreen platform: what the user sees and what
// the keys and clicks do, over real message directories.

#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include "app/window_fixture.h"
#include "store/command_ids.h"

namespace qm::test {
namespace {

using MainWindow = window_test;

TEST_F(MainWindow, SpecialFoldersNeverStaySelectedAndTheCountStripFollows) {
    layout.current = sj("標準/");
    open();
    ASSERT_EQ(subjects(), (std::vector<std::string>{" ごみ箱", " 受信箱", " 送信箱"}));
    click_row(row_of(" 受信箱"));
    EXPECT_TRUE(list().selected_rows().empty());
    EXPECT_EQ(window->count_strip()->text().toStdString(), "         3 存在    ");
    // Enter on the focused folder row goes in; Backspace comes back to it.
    key(Qt::Key_Return);
    EXPECT_EQ(u8(window->folder()), account_dir() + " 受信箱/");
    key(Qt::Key_Backspace);
    EXPECT_EQ(u8(window->folder()), account_dir());
    EXPECT_EQ(list().focused_row(), row_of(" 受信箱"));
}

TEST_F(MainWindow, HeaderClicksSortAndReverseWithTheParentFirst) {
    mail(" 受信箱/", 1, "b");
    mail(" 受信箱/", 2, "a");
    mail(" 受信箱/", 3, "c");
    open();
    EXPECT_EQ(list().rows_model().columnCount(), 5);  // no thread column
    const QHeaderView* header = list().header();
    const QPoint subject_title(header->sectionViewportPosition(column_subject) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, subject_title);
    EXPECT_EQ(subjects(), (std::vector<std::string>{"..", "a", "b", "c"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, subject_title);
    EXPECT_EQ(subjects(), (std::vector<std::string>{"..", "c", "b", "a"}));
    EXPECT_TRUE(window->action(cmd::sort_first + column_subject)->isChecked());
}

TEST_F(MainWindow, KeysMoveTheFocusSelectAndJumpAndSeveralMailsEnableOnlyTheirCommands) {
    for (int n = 1; n <= 5; ++n) mail(" 受信箱/", n, "m" + std::to_string(n));
    open();
    list().set_focused_row(1);
    // Arrows move only the focus; Space toggles; Insert takes every mail row, never "..".
    key(Qt::Key_Down);
    EXPECT_EQ(list().focused_row(), 2);
    EXPECT_TRUE(list().selected_rows().empty());
    key(Qt::Key_Space);
    EXPECT_EQ(list().selected_rows(), (std::vector<int>{2}));
    key(Qt::Key_Insert);
    EXPECT_EQ(list().selected_rows(), (std::vector<int>{1, 2, 3, 4, 5}));
    // Several mails enable only the commands that work on several.
    for (int id : {cmd::open, cmd::open_all_headers, cmd::move, cmd::resend, cmd::to_trash})
        EXPECT_TRUE(window->action(id)->isEnabled()) << id;
    for (int id : {cmd::address_list, cmd::attachment_list, cmd::reply, cmd::forward, cmd::rename})
        EXPECT_FALSE(window->action(id)->isEnabled()) << id;
    EXPECT_EQ(window->count_strip()->text().toStdString(), "         5 選択    ");
    key(Qt::Key_Minus);
    EXPECT_TRUE(list().selected_rows().empty());
    // Without a search match below, Ctrl+Down stays.
    key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(list().focused_row(), 2);
    key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(list().focused_row(), 5);
}

TEST_F(MainWindow, MarksGoAndComeBack) {
    make_directory(sj(account_dir() + "旅行/"));
    open();
    key(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(u8(layout.marks[2]), "標準/ 受信箱/");
    key(Qt::Key_Slash);
    EXPECT_EQ(u8(window->folder()), account_dir());
    key(Qt::Key_F3);
    EXPECT_EQ(u8(window->folder()), account_dir() + " 受信箱/");
    key(Qt::Key_F3);  // the mark is where we are: back to where the jump started
    EXPECT_EQ(u8(window->folder()), account_dir());
}

}  // namespace
}  // namespace qm::test
