// The window as a shell over the navigator: where the keyboard goes, how the
// columns take their widths, what the selector, the tree and the drops do,
// and which commands stay off, saying why.

#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "app/combo_currentdir.h"
#include "app/treeview_tree.h"
#include "app/window_fixture.h"
#include "navigator/command_ids.h"
#include "ui/dialog_account.h"

namespace qm::test {
namespace {

class WindowShell : public window_test {
protected:
    QTreeWidgetItem* tree_item(const std::string& text) {
        for (QTreeWidgetItemIterator it(window->folder_tree()); *it; ++it)
            if ((*it)->text(0).toStdString() == text) return *it;
        return nullptr;
    }
    void click_tree(const std::string& text) {
        QTreeWidgetItem* item = tree_item(text);
        ASSERT_TRUE(item) << text;
        QTreeWidget* tree = window->folder_tree();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }
    QHeaderView* header() { return list().header(); }
    void threaded(int number, const std::string& subject, const std::string& id, const std::string& references) {
        write_message(account_dir() + " 受信箱/." + std::to_string(number) + "/",
                      {crlf("From: a@example.com\nSubject: " + subject + "\nMessage-ID: <" + id + ">\n" +
                            (references.empty() ? "" : "References: <" + references + ">\n") +
                            "Date: Mon, 1 Mar 2010 10:0" + std::to_string(number) + ":00 +0900\n"),
                       crlf("\nx\n")},
                      type_status('R'));
    }
};

TEST_F(WindowShell, AfterATreeClickTheKeysAreTheListsAndTheColumnsKeepTheUsersWidths) {
    std::filesystem::create_directories(account_dir() + "旅行/");
    mail(" 受信箱/", 1, "一");
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    click_tree("旅行");
    EXPECT_EQ(u8(window->folder()), account_dir() + "旅行/");
    EXPECT_EQ(QApplication::focusWidget(), &list());
    // A click on the folder already shown too.
    window->folder_tree()->setFocus();
    click_tree("旅行");
    EXPECT_EQ(QApplication::focusWidget(), &list());

    // On first use the widths follow the font: a date is shown whole, and
    // the subject takes what the other columns leave.
    click_tree(" 受信箱");
    const QString date = list().rows_model().index(row_of("一"), column_date).data().toString();
    EXPECT_GE(header()->sectionSize(column_date), QFontMetrics(list().font()).horizontalAdvance(date));
    int all = 0;
    for (int column = 0; column < header()->count(); ++column)
        if (!header()->isSectionHidden(column)) all += header()->sectionSize(column);
    EXPECT_EQ(all, list().viewport()->width()) << header()->count();
    // The sorted column says so.
    EXPECT_TRUE(header()->isSortIndicatorShown());
    EXPECT_EQ(header()->sortIndicatorSection(), window->place().sort.column);

    // A width the user sets stays across folder changes and into the next run.
    header()->resizeSection(column_party, 300);
    click_tree("旅行");
    window->on_command(cmd::parent_folder);
    EXPECT_EQ(header()->sectionSize(column_party), 300);
    window->close();
    open();
    EXPECT_EQ(header()->sectionSize(column_party), 300);
}

TEST_F(WindowShell, ThreadOrderWorksWithItsColumnHiddenAndTheSelectorSwitchesOnlyWhenTaken) {
    threaded(1, "first", "a@x", "");
    threaded(2, "other", "b@x", "");
    threaded(3, "Re: first", "c@x", "a@x");
    write_account_file(account_file(settings().mailbox, "work"), account_values{});
    std::filesystem::create_directories(dir / "mailbox/work/");
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_FALSE(settings().list_thread);
    window->on_command(cmd::sort_first + column_thread);
    const std::vector<std::string> shown = subjects();
    EXPECT_EQ(std::abs(row_of("first") - row_of("Re: first")), 1) << shown.size();
    EXPECT_TRUE(window->action(cmd::sort_first + column_thread)->isChecked());

    // Arrows only show another account; Enter takes it, Esc goes back to the list.
    combo_currentdir& selector = *window->account_selector();
    const bool work_below = selector.findText("work") > selector.currentIndex();
    selector.setFocus();
    QTest::keyClick(&selector, work_below ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(window->place().account_title(), sj("標準"));
    QTest::keyClick(&selector, Qt::Key_Return);
    EXPECT_EQ(window->place().account_title(), "work");
    selector.setFocus();
    QTest::keyClick(&selector, work_below ? Qt::Key_Up : Qt::Key_Down);
    QTest::keyClick(&selector, Qt::Key_Escape);
    EXPECT_EQ(window->place().account_title(), "work");
    EXPECT_EQ(selector.currentText(), "work");
    EXPECT_TRUE(list().hasFocus());
}

TEST_F(WindowShell, CommandsThatCannotRunSayWhyAndNoAccountLeavesNothingToRun) {
    std::filesystem::create_directories(account_dir() + "旅行/");
    layout.current = sj("標準/");
    open();
    // The account's root and its special folders have no rename; inside the
    // inbox no folder is made, and the status tip says why.
    EXPECT_FALSE(window->action(cmd::tree_rename)->isEnabled());
    list().set_focused_row(row_of(" 受信箱"));
    EXPECT_FALSE(window->action(cmd::rename)->isEnabled());
    EXPECT_FALSE(window->action(cmd::rename)->statusTip().isEmpty());
    list().set_focused_row(row_of("旅行"));
    EXPECT_TRUE(window->action(cmd::rename)->isEnabled());
    window->on_command(cmd::go_to_mark_first);  // nothing marked: stays
    list().set_focused_row(row_of(" 受信箱"));
    key(Qt::Key_Return);
    EXPECT_FALSE(window->action(cmd::new_folder)->isEnabled());
    const QString why = QString::fromUtf8("受信箱, 送信箱, 草稿, 送信控の中にはフォルダを作れません.");
    EXPECT_TRUE(window->action(cmd::new_folder)->statusTip().endsWith(why));
    EXPECT_TRUE(window->action(cmd::new_folder)->toolTip().endsWith("\n" + why));

    // The last account deleted: nothing that needs one stays on, nothing is
    // made in the working directory, the tree is empty.
    modal_hand hand;
    hand.then_dialog<dialog_account>([](dialog_account& dialog) { dialog.delete_button()->click(); });
    hand.then_box();
    hand.then_box();
    window->on_command(cmd::account_new + 1);
    ASSERT_TRUE(hand.finished());
    for (int id : {cmd::new_folder, cmd::arrange, cmd::arrange_rules, cmd::send_receive, cmd::new_mail,
                   cmd::empty_trash, cmd::root_folder, cmd::tree_new_folder})
        EXPECT_FALSE(window->action(id)->isEnabled()) << id;
    window->on_command(cmd::new_folder);
    EXPECT_EQ(window->folder_tree()->topLevelItemCount(), 0);
    EXPECT_EQ(list().rows_model().rowCount(), 0);
}

TEST_F(WindowShell, InsertKeepsFolderRowsTheTreeKeepsItsOpenFoldersAndFoldersDropOnListRows) {
    std::filesystem::create_directories(account_dir() + "旅行/2025/");
    std::filesystem::create_directories(account_dir() + "仕事/");
    layout.current = sj("標準/");
    open();
    list().set_focused_row(row_of("旅行"));
    key(Qt::Key_Space);
    key(Qt::Key_Insert);
    const std::vector<int> selected = list().selected_rows();
    EXPECT_NE(std::find(selected.begin(), selected.end(), row_of("旅行")), selected.end());

    QTreeWidgetItem* trip = tree_item("旅行");
    ASSERT_TRUE(trip);
    trip->setExpanded(true);
    key(Qt::Key_Minus);
    list().set_focused_row(row_of("仕事"));
    modal_hand hand;
    hand.then_name("出張");
    window->on_command(cmd::rename);
    ASSERT_TRUE(hand.finished());
    ASSERT_TRUE(tree_item("旅行"));
    EXPECT_TRUE(tree_item("旅行")->isExpanded());

    // A folder of the tree dropped on a folder row of the list goes into it;
    // on ".." it goes up to the parent of the folder shown.
    emit list().folder_dropped(sj(account_dir() + "旅行/"), row_of("出張"));
    QTest::qWait(20);
    EXPECT_TRUE(exists(account_dir() + "出張/旅行/2025"));
    window->on_command(cmd::refresh_all);
    list().set_focused_row(row_of("出張"));
    key(Qt::Key_Return);
    emit list().folder_dropped(sj(account_dir() + "出張/旅行/"), row_of(".."));
    QTest::qWait(20);
    EXPECT_TRUE(exists(account_dir() + "旅行/2025"));
}

}  // namespace
}  // namespace qm::test
