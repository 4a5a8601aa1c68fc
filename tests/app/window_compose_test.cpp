// Writing mail from the window: the new-mail, reply and forward dialogs
// opened by their commands and keys, the marks their drafts leave on the
// list, resending, and the commands a selection of two mails turns off.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/typing.h"
#include "store/command_ids.h"
#include "support/recording_program.h"
#include "ui/dialog_make_mail.h"
#include "ui/dialog_reply.h"
#include "window_fixture.h"

namespace qm::test {
namespace {

class WindowCompose : public window_test {
protected:
    WindowCompose() { settings().text_editor = sj(editor.path()); }
    bool wait_for_hand(const modal_hand& hand) {
        return QTest::qWaitFor([&] { return hand.done() && !QApplication::activeModalWidget(); }, 10000);
    }
    std::string attribute(const std::string& subject) {
        const auto& rows = list().rows_model().rows();
        return rows[static_cast<std::size_t>(row_of(subject))].text[column_attribute];
    }
    void received(int number, const std::string& header) {
        write_message(account_dir() + " 受信箱/." + std::to_string(number) + "/",
                      {crlf(sj(header)), crlf(sj("\n本文です.\n"))}, type_status(' '));
    }
    std::string drafts() const { return account_dir() + " 送信箱/草稿/"; }

    recording_program editor{dir / "bin/editor", dir / "editor.log"};
};

TEST_F(WindowCompose, TheNewMailKeyMakesADraftShownInTheDraftsFolder) {
    layout.current = sj("標準/ 送信箱/草稿/");
    open();
    modal_hand hand;
    hand.then([](QWidget* modal) {
        auto* dialog = qobject_cast<dialog_make_mail*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("新規メール作成"));
        type_into(dialog->recipient_field()->lineEdit(), "a@b");
        QTest::mouseClick(dialog->ok_button(), Qt::LeftButton);
    });
    hand.then_box();  // 無効なメールアドレスです.
    hand.then([](QWidget* modal) {
        auto* dialog = qobject_cast<dialog_make_mail*>(modal);
        ASSERT_NE(dialog, nullptr);
        type_into(dialog->recipient_field()->lineEdit(), "hanako@example.jp");
        type_into(dialog->subject_field(), "打ち合わせ");
        QTest::mouseClick(dialog->ok_button(), Qt::LeftButton);
    });
    key(Qt::Key_N);
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_EQ(hand.boxes(), names{"無効なメールアドレスです."});
    EXPECT_EQ(editor.wait_for_runs(1), std::vector<std::vector<std::string>>{{drafts() + ".0/1"}});
    EXPECT_EQ(subjects(), (names{"..", "打ち合わせ"}));
    EXPECT_EQ(attribute("打ち合わせ").substr(0, 1), "D");
    const std::string header = read_bytes(drafts() + ".0/0");
    EXPECT_NE(header.find("To: hanako@example.jp\r\n"), std::string::npos) << header;
}

TEST_F(WindowCompose, AnAccountWithoutAnAddressWritesNothing) {
    write_bytes(dir / "mailbox/標準/account.ini", "[account]\r\npop server=pop.example.com\r\n");
    received(1, "From: taro@example.com\nTo: me@example.com\nSubject: hello\n");
    modal_hand hand;
    // The start offers the account dialog for the incomplete account.
    hand.then([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    open();
    ASSERT_TRUE(wait_for_hand(hand));
    hand.then_box();
    click_row(row_of("hello"));
    window->on_command(cmd::reply);
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_EQ(hand.boxes(), names{"アカウント設定が完了していません."});
    EXPECT_FALSE(exists(drafts() + ".0"));
}

TEST_F(WindowCompose, ReplyAndForwardMarkTheirMail) {
    received(1, "From: taro@example.com\nTo: me@example.com\nSubject: RE:  hello\nMessage-ID: <1@example.com>\n");
    open();
    click_row(row_of("RE:  hello"));
    modal_hand hand;
    hand.then([](QWidget* modal) {
        auto* dialog = qobject_cast<dialog_reply*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->subject_field()->text(), "Re: hello");
        EXPECT_FALSE(dialog->reply_to_all_box()->isEnabled());
        dialog->accept();
    });
    window->on_command(cmd::reply);
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_EQ(attribute("RE:  hello").substr(2, 1), "R");
    const std::string reply = read_bytes(drafts() + ".0/0");
    EXPECT_NE(reply.find("To: taro@example.com\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("In-Reply-To: <1@example.com>\r\n"), std::string::npos) << reply;

    hand.then([](QWidget* modal) {
        auto* field = modal->findChild<QComboBox*>();
        ASSERT_NE(field, nullptr);
        type_into(field->lineEdit(), "jiro@example.com");
        qobject_cast<QDialog*>(modal)->accept();
    });
    window->on_command(cmd::forward);
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_EQ(attribute("RE:  hello").substr(2, 2), "RF");
    EXPECT_NE(read_bytes(drafts() + ".1/0").find("Subject: Fwd: RE:  hello\r\n"), std::string::npos);
    EXPECT_EQ(editor.wait_for_runs(2).size(), 2u);
}

TEST_F(WindowCompose, TwoSentMailsAreResentAfterOneQuestionAndTwoMailsTurnOffTheSingleMailCommands) {
    for (int number : {1, 2}) {
        write_message(account_dir() + " 送信箱/送信控/." + std::to_string(number) + "/",
                      {crlf("Date: Mon, 1 Mar 2010 10:00:00 +0900\nTo: a@example.com\nSubject: sent " +
                            std::to_string(number) + "\n"),
                       crlf("\nbody\n")},
                      type_status('S'));
    }
    layout.current = sj("標準/ 送信箱/送信控/");
    open();
    list().select_rows({row_of("sent 1"), row_of("sent 2")});
    for (int command : {cmd::address_list, cmd::attachment_list, cmd::reply, cmd::forward})
        EXPECT_FALSE(window->action(command)->isEnabled()) << command;
    EXPECT_TRUE(window->action(cmd::resend)->isEnabled());

    modal_hand hand;
    hand.then_box();  // このメールを再び送りますか?
    window->on_command(cmd::resend);
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_EQ(hand.boxes(), names{"このメールを再び送りますか?"});
    EXPECT_EQ(list_names(drafts()), (names{".0", ".1"}));
    for (const char* draft : {".0/", ".1/"}) {
        EXPECT_NE(read_bytes(drafts() + draft + "status.ini").find("type=D"), std::string::npos);
        EXPECT_EQ(read_bytes(drafts() + draft + "0").find("Date: Mon, 1 Mar 2010"), std::string::npos);
    }
    EXPECT_EQ(editor.wait_for_runs(2).size(), 2u);
}

TEST_F(WindowCompose, TheArrowKeysOpenTheAddressAndAttachmentListsOfTheMail) {
    received(1, "From: taro@example.com\nTo: me@example.com\nCc: jiro@example.com\nSubject: hello\n");
    write_message(account_dir() + " 受信箱/.2/",
                  {"Subject: parts\r\nContent-Type: multipart/mixed\r\n", "Content-Type: text/plain\r\n\r\nbody\r\n",
                   "Content-Type: application/octet-stream; name=\"a.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAEC\r\n"},
                  type_status(' '));
    open();
    std::vector<std::string> titles;
    modal_hand hand;
    for (int n = 0; n < 2; ++n) {
        hand.then([&titles](QWidget* modal) {
            titles.push_back(modal->windowTitle().toStdString());
            qobject_cast<QDialog*>(modal)->reject();
        });
    }
    click_row(row_of("hello"));
    key(Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor([&] { return titles.size() == 1 && !QApplication::activeModalWidget(); }, 10000));
    click_row(row_of("parts"));
    key(Qt::Key_Left);
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_EQ(titles, (names{"記載メールアドレス一覧", "添付ファイル一覧"}));
}

}  // namespace
}  // namespace qm::test
