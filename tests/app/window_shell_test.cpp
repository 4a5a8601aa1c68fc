// The window as a shell over the navigator: where the keyboard goes, how the
// columns take their widths, what the selector, the tree, the preview and the
// drops do, and the options and accounts taking effect at once.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTreeWidgetItemIterator>
#include <cstdlib>

#include "app/combo_currentdir.h"
#include "app/edit_preview.h"
#include "app/treeview_tree.h"
#include "app/typing.h"
#include "app/window_fixture.h"
#include "navigator/command_ids.h"
#include "support/recording_program.h"
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
    void activate() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
};

TEST_F(WindowShell, AfterATreeClickTheKeysAreTheListsTheTitlesSortAndTheColumnsKeepTheUsersWidths) {
    std::filesystem::create_directories(account_dir() + "旅行/");
    for (int n : {1, 2, 3}) mail(" 受信箱/", n, std::string(1, "bac"[n - 1]));
    open();
    activate();
    click_tree("旅行");
    EXPECT_EQ(u8(window->folder()), account_dir() + "旅行/");
    EXPECT_EQ(QApplication::focusWidget(), &list());
    window->folder_tree()->setFocus();
    click_tree("旅行");  // the folder already shown too
    EXPECT_EQ(QApplication::focusWidget(), &list());

    // On first use the widths follow the font: a date is shown whole, and
    // the subject takes what the other columns leave.
    click_tree(" 受信箱");
    const QString date = list().rows_model().index(row_of("a"), column_date).data().toString();
    EXPECT_GE(header()->sectionSize(column_date), QFontMetrics(list().font()).horizontalAdvance(date));
    int all = 0;
    for (int column = 0; column < header()->count(); ++column)
        if (!header()->isSectionHidden(column)) all += header()->sectionSize(column);
    EXPECT_EQ(all, list().viewport()->width()) << header()->count();
    // A click on a title sorts by it, a second reverses, ".." stays first; the title shows the order.
    const QPoint subject_title(header()->sectionViewportPosition(column_subject) + 5, header()->height() / 2);
    QTest::mouseClick(header()->viewport(), Qt::LeftButton, {}, subject_title);
    EXPECT_EQ(subjects(), (names{"..", "a", "b", "c"}));
    QTest::mouseClick(header()->viewport(), Qt::LeftButton, {}, subject_title);
    EXPECT_EQ(subjects(), (names{"..", "c", "b", "a"}));
    EXPECT_TRUE(window->action(cmd::sort_first + column_subject)->isChecked());
    EXPECT_TRUE(header()->isSortIndicatorShown());
    EXPECT_EQ(header()->sortIndicatorSection(), column_subject);

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
    activate();
    ASSERT_FALSE(settings().list_thread);
    EXPECT_EQ(list().rows_model().columnCount(), 5);  // no thread column
    window->on_command(cmd::sort_first + column_thread);
    EXPECT_EQ(std::abs(row_of("first") - row_of("Re: first")), 1) << subjects().size();
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

// An account made from the menu joins the selector; deleted, it leaves it, and
// with the last one gone nothing that needs an account stays on and nothing is shown.
TEST_F(WindowShell, AccountsComeAndGoInTheSelectorAndWithoutOneNothingRuns) {
    open();
    modal_hand hand;
    hand.then_dialog<dialog_account>([](dialog_account& dialog) {
        type_into(dialog.title_field(), "work");
        type_into(dialog.address_field(), "me@work.example");
        type_into(dialog.pop_server_field(), "pop.work.example");
        type_into(dialog.pop_id_field(), "me");
        type_into(dialog.smtp_server_field(), "smtp.work.example");
        QTest::mouseClick(dialog.ok_button(), Qt::LeftButton);
    });
    window->on_command(cmd::account_new);
    ASSERT_TRUE(hand.finished());
    ASSERT_EQ(window->account_selector()->count(), 2);
    EXPECT_TRUE(exists(dir / "mailbox/work/account.ini"));
    for (const char* title : {"work", "標準"}) {
        const int index = window->account_selector()->findText(QString::fromUtf8(title));
        ASSERT_GE(index, 0) << title;
        hand.then_dialog<dialog_account>([](dialog_account& dialog) { dialog.delete_button()->click(); });
        hand.then_box();
        hand.then_box();  // both questions answered
        window->on_command(cmd::account_new + 1 + index);
        ASSERT_TRUE(hand.finished());
        EXPECT_FALSE(exists(dir / ("mailbox/" + std::string(title)))) << title;
        if (title[0] == 'w') {
            EXPECT_EQ(window->account_selector()->currentText(), QString::fromUtf8("標準"));
        }
    }
    EXPECT_EQ(hand.boxes().size(), 4u);
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
    click_row(row_of(" 受信箱"));  // a special folder never stays selected
    EXPECT_TRUE(list().selected_rows().empty());
    list().set_focused_row(row_of("旅行"));
    key(Qt::Key_Space);
    key(Qt::Key_Insert);
    const std::vector<int> selected = list().selected_rows();
    EXPECT_NE(std::find(selected.begin(), selected.end(), row_of("旅行")), selected.end());

    QTreeWidgetItem* trip = tree_item("旅行");
    ASSERT_TRUE(trip);
    trip->setExpanded(true);
    key(Qt::Key_Minus);
    EXPECT_TRUE(list().selected_rows().empty());
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
    key(Qt::Key_Backspace);  // back where it came from, on the folder's row
    EXPECT_EQ(u8(window->folder()), account_dir());
    EXPECT_EQ(list().focused_row(), row_of("出張"));
}

// An emoji subject from a named sender shows as sent; the preview wraps a long
// Japanese paragraph at the pane's width, no line starting with "。" or "、".
TEST_F(WindowShell, ThePreviewShowsWhoWroteAndWrapsJapaneseWithoutScrolling) {
    std::string paragraph;
    for (int i = 0; i < 100; ++i) paragraph += "日、本語です。";
    write_message(account_dir() + " 受信箱/.0/",
                  {crlf(sj("From: 山田 ") + q + " <hanako@example.jp>\nSubject: " + q + sj(" 件名") + "\nDate: Mon, 1 Dec 2025 09:00:00 +0900\n"),
                   crlf("\n" + sj(paragraph) + "\n")},
                  type_status('!'));
    write_bytes(account_dir() + " 受信箱/.0/raw", "From: =?UTF-8?B?5bGx55SwIPCfjLg=?= <hanako@example.jp>\r\n"
                                                   "Subject: =?UTF-8?B?8J+OiSDku7blkI0=?=\r\n\r\n" + paragraph + "\r\n");
    open();
    window->resize(700, 600);
    QTest::qWait(50);
    const int row = row_of("\xEF\xBC\x9F 件名");
    EXPECT_EQ(list().rows_model().index(row, column_subject).data().toString().toStdString(), "🎉 件名");
    EXPECT_EQ(list().rows_model().index(row, column_party).data().toString().toStdString(), "山田 🌸");
    click_row(row);
    edit_preview& preview = *window->preview();
    const std::string text = preview.toPlainText().toStdString();
    EXPECT_TRUE(text.starts_with("差出人: 山田 🌸 <hanako@example.jp>\n")) << text;
    EXPECT_NE(text.find("\n件名: 🎉 件名\n\n" + paragraph), std::string::npos) << text;
    preview.viewport()->repaint();
    QTextBlock block = preview.document()->firstBlock();
    while (block.isValid() && block.text().toStdString() != paragraph) block = block.next();
    ASSERT_TRUE(block.isValid());
    ASSERT_GT(block.layout()->lineCount(), 3);
    for (int line = 1; line < block.layout()->lineCount(); ++line) {
        const QString first = block.text().mid(block.layout()->lineAt(line).textStart(), 1);
        EXPECT_TRUE(first != "。" && first != "、") << "line " << line << " starts with " << first.toStdString();
    }
    EXPECT_FALSE(preview.horizontalScrollBar()->isVisible());
}

TEST_F(WindowShell, PreviewOffPutsTheMailBehindTheListAtOnceAndAtTheNextStart) {
    mail(" 受信箱/", 1, "会議", "来週の会議は水曜です. 場所は本社の三階の大会議室で、時間は午前十時から正午までを予定しています.");
    open();
    click_row(row_of("会議"));
    ASSERT_TRUE(window->preview()->isVisible());
    EXPECT_FALSE(list().background().shown);
    modal_hand hand;
    hand.then_dialog<dialog_option_view>([](dialog_option_view& dialog) {
        dialog.preview_check()->setChecked(false);
        dialog.accept();
    });
    window->on_command(cmd::view_options);
    ASSERT_TRUE(hand.finished());
    EXPECT_NE(read_bytes(dir / "quillmere.ini").find("preview=-"), std::string::npos);
    for (int start : {1, 2}) {
        if (start == 2) {
            window.reset();
            open();
            list().set_focused_row(row_of("会議"));
            QApplication::processEvents();
        }
        EXPECT_FALSE(window->preview()->isVisible()) << start;
        EXPECT_TRUE(list().background().text.contains(QString::fromUtf8("水曜"))) << start;
        // A line longer than the tree is wide goes on behind the list.
        const QImage image = list().viewport()->grab().toImage();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) inked += image.pixel(x, y) == list().background().colour.rgb();
        EXPECT_GT(inked, 0) << start;
    }
}

TEST_F(WindowShell, TheManualGoesToXdgOpen) {
    write_bytes(dir / "quillmere.htm", "<html></html>");
    recording_program opener{dir / "path/xdg-open", dir / "opened"};
    scoped_env search{"PATH", (dir / "path:" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "")).c_str()};
    open();
    window->on_command(cmd::manual);
    EXPECT_EQ(opener.wait_for_runs(1), std::vector<std::vector<std::string>>{{dir / "quillmere.htm"}});
}

}  // namespace
}  // namespace qm::test
