// The main window on the offscreen platform: what the user sees and what
// the keys and clicks do, over real message directories; the option dialogs
// taking effect at once, accounts coming and going in the selector, and the
// manual handed to xdg-open.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTest>
#include <cstdlib>

#include "app/combo_currentdir.h"
#include "app/edit_preview.h"
#include "app/typing.h"
#include "app/window_fixture.h"
#include "navigator/command_ids.h"
#include "support/recording_program.h"
#include "ui/dialog_account.h"
#include "ui/dialog_option_view.h"

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
    for (int id : {cmd::open, cmd::open_all_headers, cmd::move, cmd::to_trash})
        EXPECT_TRUE(window->action(id)->isEnabled()) << id;
    for (int id : {cmd::address_list, cmd::attachment_list, cmd::reply, cmd::forward, cmd::rename, cmd::resend})
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

// A mail with an emoji subject from a named sender: the list shows both as sent, the preview its header
// block and its long Japanese paragraph wrapped at the pane's width, no line starting with "。" or "、".
TEST_F(MainWindow, ThePreviewShowsWhoWroteAndWrapsJapaneseWithoutScrolling) {
    std::string paragraph;
    for (int i = 0; i < 100; ++i) paragraph += "日、本語です。";
    const std::string raw = "From: =?UTF-8?B?5bGx55SwIPCfjLg=?= <hanako@example.jp>\r\nSubject: =?UTF-8?B?8J+OiSDku7blkI0=?=\r\n"
                            "Date: Mon, 1 Dec 2025 09:00:00 +0900\r\n\r\n" + paragraph + "\r\n";
    write_message(account_dir() + " 受信箱/.0/", {crlf(sj("From: 山田 ") + q + " <hanako@example.jp>\nSubject: " + q + sj(" 件名") +
                                                       "\nDate: Mon, 1 Dec 2025 09:00:00 +0900\n"),
                                                 crlf("\n" + sj(paragraph) + "\n")},
                  type_status('!'));
    write_bytes(account_dir() + " 受信箱/.0/raw", raw);
    open();
    window->resize(700, 600);
    QTest::qWait(50);
    const int row = row_of("\xEF\xBC\x9F 件名");
    const QModelIndex subject = list().rows_model().index(row, column_subject);
    EXPECT_EQ(subject.data().toString().toStdString(), "🎉 件名");
    EXPECT_EQ(subject.siblingAtColumn(column_party).data().toString().toStdString(), "山田 🌸");
    click_row(row);
    edit_preview& preview = *window->preview();
    const std::string text = preview.toPlainText().toStdString();
    EXPECT_TRUE(text.starts_with("差出人: 山田 🌸 <hanako@example.jp>\n")) << text;
    EXPECT_NE(text.find("\n件名: 🎉 件名\n\n" + paragraph), std::string::npos) << text;
    EXPECT_EQ(text.find("\n\n\n"), std::string::npos);  // no blank first line
    // The paragraph is one block laid out in several lines, none of which begins with a closing mark.
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

using WindowSettings = window_test;

TEST_F(WindowSettings, PreviewOffPutsTheMailBehindTheListAtOnceAndAtTheNextStart) {
    mail(" 受信箱/", 1, "会議", "来週の会議は水曜です. 場所は本社の三階の大会議室で、時間は午前十時から正午までを予定しています.");
    open();
    click_row(row_of("会議"));
    ASSERT_TRUE(window->preview()->isVisible());
    EXPECT_TRUE(window->preview()->toPlainText().contains(QString::fromUtf8("水曜")));
    EXPECT_FALSE(list().background().shown);

    modal_hand hand;
    hand.then_dialog<dialog_option_view>([](dialog_option_view& dialog) {
        dialog.preview_check()->setChecked(false);
        dialog.accept();
    });
    window->on_command(cmd::view_options);
    ASSERT_TRUE(hand.finished());
    EXPECT_FALSE(settings().view_preview);
    EXPECT_NE(read_bytes(dir / "quillmere.ini").find("preview=-"), std::string::npos)
        << read_bytes(dir / "quillmere.ini");
    for (int start : {1, 2}) {
        if (start == 2) {
            window.reset();
            open();
            list().set_focused_row(row_of("会議"));
            QApplication::processEvents();
        }
        EXPECT_FALSE(window->preview()->isVisible()) << start;
        EXPECT_TRUE(list().background().shown) << start;
        EXPECT_TRUE(list().background().text.contains(QString::fromUtf8("水曜"))) << start;
        // A line longer than the tree is wide goes on behind the list.
        const QImage image = list().viewport()->grab().toImage();
        const QRgb ink = list().background().colour.rgb();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) inked += image.pixel(x, y) == ink;
        EXPECT_GT(inked, 0) << start;
    }
}

TEST_F(WindowSettings, AnAccountMadeAndDeletedFromTheMenuComesAndGoesInTheSelector) {
    open();
    ASSERT_EQ(window->account_selector()->count(), 1);
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
    const int work = window->account_selector()->findText("work");
    ASSERT_GE(work, 0);
    EXPECT_TRUE(exists(dir / "mailbox/work/account.ini"));

    hand.then_dialog<dialog_account>([](dialog_account& dialog) {
        EXPECT_EQ(dialog.title_field()->text(), "work");
        dialog.delete_button()->click();
    });
    hand.then_box();
    hand.then_box();
    window->on_command(cmd::account_new + 1 + work);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(hand.boxes(), (names{"削除しますか?", "以下全てのメールが削除されますがよろしいですか?"}));
    EXPECT_FALSE(exists(dir / "mailbox/work"));
    ASSERT_EQ(window->account_selector()->count(), 1);
    EXPECT_EQ(window->account_selector()->currentText(), QString::fromUtf8("標準"));
}

TEST_F(WindowSettings, TheManualGoesToXdgOpen) {
    write_bytes(dir / "quillmere.htm", "<html></html>");
    recording_program opener{dir / "path/xdg-open", dir / "opened"};
    const std::string path = dir / "path:" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "");
    scoped_env search{"PATH", path.c_str()};
    open();
    window->on_command(cmd::manual);
    EXPECT_EQ(opener.wait_for_runs(1), std::vector<std::vector<std::string>>{{dir / "quillmere.htm"}});
}

}  // namespace
}  // namespace qm::test
