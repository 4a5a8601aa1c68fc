// What the window's commands do to the mailbox: opening, moving, folders,
// the trash, arranging and closing, each checked on disk.

#include <QAction>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "app/treeview_tree.h"
#include "app/typing.h"
#include "app/window_fixture.h"
#include "config/folder_names.h"
#include "config/profile.h"
#include "store/arrange_rules.h"
#include "navigator/command_ids.h"
#include "store/draft_in_use.h"
#include "support/recording_program.h"
#include "ui/dialog_name.h"

namespace qm::test {
namespace {

using WindowActions = window_test;

TEST_F(WindowActions, EnterHandsTheViewerTheShownLinesAndTheMailTurnsRead) {
    recording_program viewer(dir / "bin/viewer", dir / "viewer.log");
    settings().text_viewer = sj(viewer.path());
    const std::string header = "Received: from x\r\nFrom: a@example.com\r\nSubject: 会議\r\nX-Spam: 1\r\n";
    write_message(account_dir() + " 受信箱/.1/", {sj(header), crlf(sj("\n会議は三時です。\n"))}, type_status('!'));
    write_message(account_dir() + " 受信箱/.2/", {sj("Subject: two\r\n"), crlf("\nsecond\n")}, type_status('!'));
    open();
    list().set_focused_row(row_of("会議"));
    key(Qt::Key_Return);
    ASSERT_EQ(viewer.wait_for_runs(1).size(), 1u);
    list().set_focused_row(row_of("two"));
    key(Qt::Key_Return, Qt::ShiftModifier);
    const auto runs = viewer.wait_for_runs(2);
    ASSERT_EQ(runs.size(), 2u);
    std::vector<std::string> copies = {u8(read_bytes(runs[0][0])), u8(read_bytes(runs[1][0]))};
    std::sort(copies.begin(), copies.end());
    // The open-header lines, one empty line and the text part; with Shift
    // the whole header, as it is stored.
    EXPECT_EQ(copies, (names{"From: a@example.com\r\nSubject: 会議\r\n\r\n\r\n会議は三時です。\r\n",
                                                "Subject: two\r\n"}));
    EXPECT_EQ(list().rows_model().rows()[static_cast<std::size_t>(row_of("会議"))].type, ' ');
    EXPECT_EQ(list().rows_model().rows()[static_cast<std::size_t>(row_of("two"))].type, '!');
}

TEST_F(WindowActions, MoveGoesBetweenOutboxAndDraftsWithoutAsking) {
    write_message(account_dir() + " 送信箱/.1/", {"Subject: d\r\n", "\r\nbody\r\n"}, type_status('D'));
    layout.current = sj("標準/ 送信箱/");
    open();
    EXPECT_EQ(window->action(cmd::move)->text().toStdString(), "草稿へ戻す(&M)");
    list().set_focused_row(row_of("d"));
    window->on_command(cmd::move);
    EXPECT_TRUE(exists(account_dir() + " 送信箱/草稿/.0/status.ini"));
    EXPECT_FALSE(exists(account_dir() + " 送信箱/.1"));
    list().set_focused_row(row_of("草稿"));
    key(Qt::Key_Return);
    list().set_focused_row(row_of("d"));
    EXPECT_EQ(window->action(cmd::move)->text().toStdString(), "送信箱へ移動(&M)");
    window->on_command(cmd::move);
    EXPECT_TRUE(exists(account_dir() + " 送信箱/.0/status.ini"));
}

TEST_F(WindowActions, NewFoldersFollowTheNameRulesAndRenamingChangesCase) {
    layout.current = sj("標準/");
    open();
    modal_hand hand;
    for (const char* refused : {"nul", "COM3", "lpt5", ".hidden", "送信控"}) {
        hand.then_name(refused);
        hand.then_box();
    }
    // While typed, a name no folder may have keeps OK off and says why.
    hand.then([](QWidget* w) {
        auto* dialog = qobject_cast<dialog_name*>(w);
        ASSERT_TRUE(dialog);
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        type_into(dialog->field(), "a/b");
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_TRUE(dialog->reason().startsWith("(1) 次の文字は使用できません."));
        EXPECT_EQ(dialog->field()->toolTip(), dialog->reason());
        dialog->field()->clear();
        type_into(dialog->field(), "lpt0");
        EXPECT_TRUE(ok->isEnabled());
        EXPECT_TRUE(dialog->reason().isEmpty());
        ok->click();
    });
    window->on_command(cmd::new_folder);
    for (const char* made : {"com5", "lpt10", "Work"}) {
        hand.then_name(made);
        window->on_command(cmd::new_folder);
    }
    EXPECT_TRUE(hand.done());
    const std::string rules =
        "(1) 次の文字は使用できません.\n    \"*/:<>?\\|\n\n(2) 使用できない名前です.\n\n(3) 先頭の.は許されません.";
    EXPECT_EQ(hand.boxes(), names(5, rules));
    for (const char* made : {"lpt0", "com5", "lpt10", "Work"}) EXPECT_TRUE(exists(account_dir() + made)) << made;
    list().set_focused_row(row_of("Work"));
    hand.then_name("work");
    window->on_command(cmd::rename);
    EXPECT_TRUE(exists(account_dir() + "work"));
    EXPECT_FALSE(exists(account_dir() + "Work"));
    bool in_tree = false;  // the tree follows
    for (QTreeWidgetItemIterator it(window->folder_tree()); *it; ++it) in_tree = in_tree || (*it)->text(0) == "work";
    EXPECT_TRUE(in_tree);
}

TEST_F(WindowActions, EmptyingTheTrashAsksOnceAndKeepsItsRules) {
    write_message(account_dir() + " ごみ箱/.1/", {"Subject: a\r\n", "\r\nx\r\n"}, type_status(' '));
    write_message(account_dir() + " ごみ箱/.2/", {"Subject: b\r\n", "\r\nx\r\n"}, type_status('S'));
    std::filesystem::create_directories(account_dir() + " ごみ箱/old/");
    ASSERT_TRUE(add_rule(sj(account_dir() + " ごみ箱/"), "Subject", sj("広告")));
    open();
    modal_hand hand;
    hand.then_box();
    window->on_command(cmd::empty_trash);
    EXPECT_EQ(hand.boxes(), names{"ごみ箱を空にしますか?"});
    EXPECT_EQ(list_names(account_dir() + " ごみ箱"), names{"arrange.lst"});
}

TEST_F(WindowActions, ARuleAddedInTheDialogMovesTheMatchingMailOnG) {
    mail(" 受信箱/", 1, "来週の会議");
    mail(" 受信箱/", 2, "other");
    std::filesystem::create_directories(account_dir() + "会議/");
    layout.current = sj("標準/会議/");
    open();
    modal_hand hand;
    hand.then([](QWidget* rules) {  // 追加
        for (QPushButton* button : rules->findChildren<QPushButton*>())
            if (button->text().startsWith(QStringLiteral("追加"))) button->click();
    });
    hand.then([](QWidget* edit) {  // "Subject" contains "会議"
        const QList<QLineEdit*> fields = edit->findChildren<QLineEdit*>();
        fields[0]->setText(QStringLiteral("Subject"));
        fields[1]->setText(QStringLiteral("会議"));
        qobject_cast<QDialog*>(edit)->accept();
    });
    hand.then_reject();
    window->on_command(cmd::arrange_rules);
    EXPECT_EQ(u8(read_bytes(account_dir() + "会議/arrange.lst")), "\tSubject:会議\r\n");
    key(Qt::Key_Slash);
    hand.then_box();
    key(Qt::Key_G);
    EXPECT_EQ(hand.boxes(), names{"メール振り分けを実行しますか?"});
    EXPECT_TRUE(exists(account_dir() + "会議/.0/0"));
    EXPECT_EQ(list_names(account_dir() + " 受信箱").size(), 1u);
}

TEST_F(WindowActions, ClosingAndALogOutAskAboutUnsentMailAndACancelKeepsTheWindow) {
    settings().arrange_at_terminate = settings().clear_trash = settings().tell_remain = true;
    mail(" 受信箱/", 1, "来週の会議");
    std::filesystem::create_directories(account_dir() + "会議/");
    ASSERT_TRUE(add_rule(sj(account_dir() + "会議/"), "Subject", sj("会議")));
    write_message(account_dir() + " ごみ箱/.1/", {"Subject: a\r\n", "\r\nx\r\n"}, type_status(' '));
    write_message(account_dir() + " 送信箱/.1/", {"Subject: q\r\n", "\r\nx\r\n"}, type_status('D'));
    layout.current = sj("標準/ 送信箱/");
    open();
    modal_hand hand;
    hand.then_box(false);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    hand.then_box(false);
    EXPECT_FALSE(window->agree_to_end_session(true));
    EXPECT_FALSE(exists(dir / "layout.ini"));
    hand.then_box(true);
    EXPECT_TRUE(window->agree_to_end_session(true));
    EXPECT_EQ(profile_read_string(dir.cp("layout.ini"), "directory", "current", ""), sj("標準/ 送信箱/"));
    std::filesystem::remove(dir / "layout.ini");
    EXPECT_TRUE(window->agree_to_end_session(false));  // nothing asked
    EXPECT_TRUE(exists(dir / "layout.ini"));
    hand.then_box(true);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(hand.boxes(), names(4, "送信箱に未送信のメールが残っていますが終了しますか?"));
    EXPECT_TRUE(exists(account_dir() + "会議/.0/0"));
    EXPECT_TRUE(list_names(account_dir() + " ごみ箱").empty());
    EXPECT_TRUE(exists(account_dir() + " 送信箱/.1/0"));
}

TEST_F(WindowActions, ADraftOpenInTheNotepadStaysWhileTheOthersGoToTheTrash) {
    for (int n : {1, 2}) {
        write_message(account_dir() + " 送信箱/草稿/." + std::to_string(n) + "/",
                      {"Subject: d" + std::to_string(n) + "\r\n", crlf(sj("\n下書き\n"))}, type_status('D'));
    }
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
    for (int tries = 0; tries < 500 && !is_draft_in_use(held); ++tries) QTest::qWait(10);
    ASSERT_TRUE(is_draft_in_use(held));
    key(Qt::Key_Insert);
    window->on_command(cmd::to_trash);
    EXPECT_TRUE(exists(account_dir() + " 送信箱/草稿/.1/1"));
    EXPECT_FALSE(exists(account_dir() + " 送信箱/草稿/.2"));
    EXPECT_EQ(list_names(account_dir() + " ごみ箱"), names{".0"});
    notepad.kill();
    notepad.waitForFinished();
}

TEST_F(WindowActions, MovingElsewhereOffersTheMailboxFoldersOnly) {
    mail(" 受信箱/", 1, "keep me");
    std::filesystem::create_directories(account_dir() + "保管/年/");
    write_bytes(account_dir() + "保管/note.txt", "not a folder");
    open();
    list().set_focused_row(row_of("keep me"));
    modal_hand hand;
    std::vector<std::string> offered;
    hand.then([&offered](QWidget* chooser) {
        auto* tree = chooser->findChild<QTreeWidget*>();
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            offered.push_back((*it)->text(0).toStdString());
            if ((*it)->text(0) == QStringLiteral("年")) tree->setCurrentItem(*it);
        }
        qobject_cast<QDialog*>(chooser)->accept();
    });
    window->on_command(cmd::move);
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(offered, (names{" ごみ箱", " 受信箱", " 送信箱", "保管", "年", "標準", "草稿", "送信控"}));
    EXPECT_TRUE(exists(account_dir() + "保管/年/.0/0"));
    EXPECT_EQ(subjects(), names{".."});
}

}  // namespace
}  // namespace qm::test
