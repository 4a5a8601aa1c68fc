// What the window's commands do to the mailbox: opening, writing, moving,
// folders, the trash, arranging and closing, each checked on disk.

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "app/treeview_tree.h"
#include "app/typing.h"
#include "app/window_fixture.h"
#include "config/profile.h"
#include "navigator/command_ids.h"
#include "store/draft_in_use.h"
#include "support/recording_program.h"
#include "ui/dialog_name.h"
#include "ui/dialog_reply.h"

namespace qm::test {
namespace {

class WindowCommands : public window_test {
protected:
    WindowCommands() { settings().text_editor = sj(editor.path()); }
    void stored(const std::string& folder, int number, const std::string& header, char type = ' ') {
        write_message(account_dir() + folder + "." + std::to_string(number) + "/", {crlf(sj(header)), crlf(sj("\n本文\n"))},
                      type_status(type));
    }
    std::string attribute(const std::string& subject) {
        return list().rows_model().rows()[static_cast<std::size_t>(row_of(subject))].text[column_attribute];
    }

    recording_program editor{dir / "bin/editor", dir / "editor.log"};
};

// Enter and Shift+Enter hand the viewer a copy; only the first kind turns the mail read.
TEST_F(WindowCommands, EnterHandsTheViewerACopyAndTheMailTurnsRead) {
    recording_program viewer(dir / "bin/viewer", dir / "viewer.log");
    settings().text_viewer = sj(viewer.path());
    stored(" 受信箱/", 1, "From: a@example.com\nSubject: 会議\n", '!');
    stored(" 受信箱/", 2, "Subject: two\n", '!');
    open();
    list().set_focused_row(row_of("会議"));
    key(Qt::Key_Return);
    ASSERT_EQ(viewer.wait_for_runs(1).size(), 1u);
    list().set_focused_row(row_of("two"));
    key(Qt::Key_Return, Qt::ShiftModifier);
    const auto runs = viewer.wait_for_runs(2);
    ASSERT_EQ(runs.size(), 2u);
    const names copies = {read_bytes(runs[0][0]), read_bytes(runs[1][0])};  // in either order
    EXPECT_NE(std::find(copies.begin(), copies.end(), "Subject: two\r\n"), copies.end());  // with Shift: the header
    EXPECT_EQ(list().rows_model().rows()[static_cast<std::size_t>(row_of("会議"))].type, ' ');
    EXPECT_EQ(list().rows_model().rows()[static_cast<std::size_t>(row_of("two"))].type, '!');
}

TEST_F(WindowCommands, AnAccountWithoutAnAddressWritesNothing) {
    write_bytes(dir / "mailbox/標準/account.ini", "[account]\r\npop server=pop.example.com\r\n");
    stored(" 受信箱/", 1, "From: taro@example.com\nSubject: hello\n");
    modal_hand hand;
    hand.then_reject();  // the account dialog the start offers for the incomplete account
    hand.then_box();
    open();
    click_row(row_of("hello"));
    window->on_command(cmd::reply);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(hand.boxes(), names{"アカウント設定が完了していません."});
    EXPECT_FALSE(exists(drafts() + ".0"));
}

// Reply and forward write their drafts, open them in the editor and mark their mail.
TEST_F(WindowCommands, ReplyAndForwardMarkTheirMail) {
    stored(" 受信箱/", 1, "From: taro@example.com\nSubject: RE:  hello\nMessage-ID: <1@example.com>\n");
    open();
    click_row(row_of("RE:  hello"));
    modal_hand hand;
    hand.then_dialog<dialog_reply>([](dialog_reply& dialog) { dialog.accept(); });
    window->on_command(cmd::reply);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(attribute("RE:  hello").substr(2, 1), "R");
    EXPECT_TRUE(exists(drafts() + ".0/0"));
    hand.then([](QWidget* modal) {
        type_into(modal->findChild<QComboBox*>()->lineEdit(), "jiro@example.com");
        qobject_cast<QDialog*>(modal)->accept();
    });
    window->on_command(cmd::forward);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(attribute("RE:  hello").substr(2, 2), "RF");
    EXPECT_NE(read_bytes(drafts() + ".1/0").find("Subject: Fwd: RE:  hello\r\n"), std::string::npos);
    EXPECT_EQ(editor.wait_for_runs(2).size(), 2u);
}

TEST_F(WindowCommands, TwoSentMailsAreResentAfterOneQuestion) {
    for (int number : {1, 2})
        stored(" 送信箱/送信控/", number, "To: a@example.com\nSubject: sent " + std::to_string(number) + "\n", 'S');
    layout.current = sj("標準/ 送信箱/送信控/");
    open();
    list().select_rows({row_of("sent 1"), row_of("sent 2")});
    modal_hand hand;
    hand.then_box();
    window->on_command(cmd::resend);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(hand.boxes().size(), 1u);
    EXPECT_EQ(list_names(drafts()), (names{".0", ".1"}));
    EXPECT_EQ(editor.wait_for_runs(2).size(), 2u);
}

TEST_F(WindowCommands, MoveGoesBetweenOutboxAndDraftsWithoutAskingAndElsewhereOffersTheMailboxFoldersOnly) {
    stored(" 送信箱/", 1, "Subject: d\n", 'D');
    std::filesystem::create_directories(account_dir() + "保管/年/");
    write_bytes(account_dir() + "保管/note.txt", "not a folder");
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

    mail(" 受信箱/", 1, "keep me");
    window->on_command(cmd::root_folder);
    list().set_focused_row(row_of(" 受信箱"));
    key(Qt::Key_Return);
    list().set_focused_row(row_of("keep me"));
    modal_hand hand;
    names offered;
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

// A refused name makes nothing and the name is asked again; while typed, a name no folder may have keeps OK
// off and says why; a rename may change only the case, and the tree follows.
TEST_F(WindowCommands, NewFoldersFollowTheNameRulesAndRenamingChangesCase) {
    layout.current = sj("標準/");
    open();
    modal_hand hand;
    hand.then_name("nul");
    hand.then_box();
    hand.then([](QWidget* w) {
        auto* dialog = qobject_cast<dialog_name*>(w);
        ASSERT_TRUE(dialog);
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        type_into(dialog->field(), "a/b");
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_FALSE(dialog->reason().isEmpty());
        EXPECT_EQ(dialog->field()->toolTip(), dialog->reason());
        type_into(dialog->field(), "Work");
        EXPECT_TRUE(ok->isEnabled() && dialog->reason().isEmpty());
        ok->click();
    });
    window->on_command(cmd::new_folder);  // asked again after the refusal
    EXPECT_EQ(hand.boxes().size(), 1u);
    EXPECT_FALSE(exists(account_dir() + "nul"));
    ASSERT_TRUE(exists(account_dir() + "Work"));
    list().set_focused_row(row_of("Work"));
    hand.then_name("work");
    window->on_command(cmd::rename);
    EXPECT_TRUE(exists(account_dir() + "work"));
    EXPECT_FALSE(exists(account_dir() + "Work"));
    bool in_tree = false;
    for (QTreeWidgetItemIterator it(window->folder_tree()); *it; ++it) in_tree = in_tree || (*it)->text(0) == "work";
    EXPECT_TRUE(in_tree);
}

// A cancel at the question about unsent mail keeps the window and writes no
// layout; agreeing saves it; the steps of the close run once it goes.
TEST_F(WindowCommands, ClosingAndALogOutAskAboutUnsentMailAndACancelKeepsTheWindow) {
    settings().arrange_at_terminate = settings().clear_trash = settings().tell_remain = true;
    stored(" ごみ箱/", 1, "Subject: a\n");
    stored(" 送信箱/", 1, "Subject: q\n", 'D');
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
    EXPECT_EQ(hand.boxes().size(), 4u);
    EXPECT_TRUE(list_names(account_dir() + " ごみ箱").empty());
    EXPECT_TRUE(exists(account_dir() + " 送信箱/.1/0"));
}

TEST_F(WindowCommands, ADraftOpenInTheNotepadStaysWhileTheOthersGoToTheTrash) {
    for (int n : {1, 2}) stored(" 送信箱/草稿/", n, "Subject: d" + std::to_string(n) + "\n", 'D');
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
    key(Qt::Key_Insert);
    window->on_command(cmd::to_trash);
    EXPECT_TRUE(exists(account_dir() + " 送信箱/草稿/.1/1"));
    EXPECT_FALSE(exists(account_dir() + " 送信箱/草稿/.2"));
    EXPECT_EQ(list_names(account_dir() + " ごみ箱"), names{".0"});
    notepad.kill();
    notepad.waitForFinished();
}

}  // namespace
}  // namespace qm::test
