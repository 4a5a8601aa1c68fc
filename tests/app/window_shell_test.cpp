// The window as a shell over the navigator: how the columns take their widths,
// what the selector, the tree, the preview and the drops do, and the options
// and accounts taking effect at once.

#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidgetItemIterator>

#include "app/combo_currentdir.h"
#include "app/edit_preview.h"
#include "app/treeview_tree.h"
#include "app/window_fixture.h"
#include "ui/dialog_account.h"
#include "ui/dialog_option_view.h"

namespace qm::test {
namespace {

class WindowShell : public window_test {
protected:
    QTreeWidgetItem* tree_item(const std::string& text) {
        for (QTreeWidgetItemIterator it(window->folder_tree()); *it; ++it)
            if ((*it)->text(0).toStdString() == text) return *it;
        return nullptr;
    }
    QHeaderView* header() { return list().header(); }
};

// On first use the widths follow the font: a date is shown whole, and the subject takes what the other
// columns leave. A click on a title sorts by it, ".." first (a second click reverses: the store's rule).
TEST_F(WindowShell, TheColumnsFillTheListAndATitleClickSorts) {
    for (int n : {1, 2, 3}) mail(" 受信箱/", n, std::string(1, "bac"[n - 1]));
    open();
    const QString date = list().rows_model().index(row_of("a"), column_date).data().toString();
    EXPECT_GE(header()->sectionSize(column_date), QFontMetrics(list().font()).horizontalAdvance(date));
    int all = 0;
    for (int column = 0; column < header()->count(); ++column)
        if (!header()->isSectionHidden(column)) all += header()->sectionSize(column);
    EXPECT_EQ(all, list().viewport()->width()) << header()->count();
    QTest::mouseClick(header()->viewport(), Qt::LeftButton, {},
                      {header()->sectionViewportPosition(column_subject) + 5, header()->height() / 2});
    EXPECT_EQ(subjects(), (names{"..", "a", "b", "c"}));
}

// Arrows only show another account; Enter takes it. Deleted from its dialog, an account leaves the
// selector (what is shown with no account left is the navigator's).
TEST_F(WindowShell, TheSelectorSwitchesOnlyWhenTakenAndDeletedAccountsLeaveIt) {
    write_account_file(account_file(settings().mailbox, "work"), account_values{});
    std::filesystem::create_directories(dir / "mailbox/work/");
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    combo_currentdir& selector = *window->account_selector();
    selector.setFocus();
    QTest::keyClick(&selector, selector.findText("work") > selector.currentIndex() ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(window->place().account_title(), sj("標準"));
    QTest::keyClick(&selector, Qt::Key_Return);
    EXPECT_EQ(window->place().account_title(), "work");

    modal_hand hand;
    hand.then_dialog<dialog_account>([](dialog_account& dialog) { dialog.delete_button()->click(); });
    hand.then_box();
    hand.then_box();  // both questions answered
    window->on_command(cmd::account_new + 1 + selector.findText("work"));
    ASSERT_TRUE(hand.finished());
    EXPECT_FALSE(exists(dir / "mailbox/work"));
    EXPECT_EQ(selector.findText("work"), -1);
}

// A rename keeps the tree's open folders open; a folder of the tree dropped on a folder row of the
// list goes into it.
TEST_F(WindowShell, TheTreeKeepsItsOpenFoldersAndAFolderDropsOnAListRow) {
    std::filesystem::create_directories(account_dir() + "旅行/2025/");
    std::filesystem::create_directories(account_dir() + "仕事/");
    layout.current = sj("標準/");
    open();
    ASSERT_TRUE(tree_item("旅行"));
    tree_item("旅行")->setExpanded(true);
    list().set_focused_row(row_of("仕事"));
    modal_hand hand;
    hand.then_name("出張");
    window->on_command(cmd::rename);
    ASSERT_TRUE(hand.finished());
    ASSERT_TRUE(tree_item("旅行"));
    EXPECT_TRUE(tree_item("旅行")->isExpanded());
    emit list().folder_dropped(sj(account_dir() + "旅行/"), row_of("出張"));
    QTest::qWait(20);
    EXPECT_TRUE(exists(account_dir() + "出張/旅行/2025"));
}

TEST_F(WindowShell, PreviewOffPutsTheMailBehindTheListAndIsKept) {
    mail(" 受信箱/", 1, "会議", "来週の会議は水曜です.");
    open();
    click_row(row_of("会議"));
    modal_hand hand;
    hand.then_dialog<dialog_option_view>([](dialog_option_view& dialog) {
        dialog.preview_check()->setChecked(false);
        dialog.accept();
    });
    window->on_command(cmd::view_options);
    ASSERT_TRUE(hand.finished());
    EXPECT_NE(read_bytes(dir / "quillmere.ini").find("preview=-"), std::string::npos);
    EXPECT_TRUE(!window->preview()->isVisible() && list().background().text.contains(QString::fromUtf8("水曜")));
    // A paint draws only what can reach the view: all of a long mail takes seconds at each one.
    EXPECT_EQ(visible_part(QStringLiteral("ab\ncdef\ng"), 2, 3), QStringLiteral("ab\ncde\n"));
}

}  // namespace
}  // namespace qm::test
