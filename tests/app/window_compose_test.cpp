// Writing mail from the window: the new-mail, reply and forward dialogs
// opened by their commands, keys and mailto: links handed over by a second
// start, the marks their mail gets on the list, and resending.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/mailto_request.h"
#include "app/running_instance.h"
#include "app/typing.h"
#include "navigator/command_ids.h"
#include "support/recording_program.h"
#include "ui/dialog_make_mail.h"
#include "ui/dialog_reply.h"
#include "window_fixture.h"

namespace qm::test {
namespace {

class WindowCompose : public window_test {
protected:
    WindowCompose() { settings().text_editor = sj(editor.path()); }
    std::string attribute(const std::string& subject) {
        return list().rows_model().rows()[static_cast<std::size_t>(row_of(subject))].text[column_attribute];
    }
    void received(int number, const std::string& header) {
        write_message(account_dir() + " 受信箱/." + std::to_string(number) + "/",
                      {crlf(sj(header)), crlf(sj("\n本文です.\n"))}, type_status(' '));
    }

    recording_program editor{dir / "bin/editor", dir / "editor.log"};
};

TEST_F(WindowCompose, AnAccountWithoutAnAddressWritesNothing) {
    write_bytes(dir / "mailbox/標準/account.ini", "[account]\r\npop server=pop.example.com\r\n");
    received(1, "From: taro@example.com\nTo: me@example.com\nSubject: hello\n");
    modal_hand hand;
    hand.then_reject();  // the account dialog the start offers for the incomplete account
    open();
    ASSERT_TRUE(hand.finished());
    hand.then_box();
    click_row(row_of("hello"));
    window->on_command(cmd::reply);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(hand.boxes(), names{"アカウント設定が完了していません."});
    EXPECT_FALSE(exists(drafts() + ".0"));
}

TEST_F(WindowCompose, ReplyAndForwardMarkTheirMail) {
    received(1, "From: taro@example.com\nTo: me@example.com\nSubject: RE:  hello\nMessage-ID: <1@example.com>\n");
    open();
    click_row(row_of("RE:  hello"));
    modal_hand hand;
    hand.then_dialog<dialog_reply>([](dialog_reply& dialog) { dialog.accept(); });
    window->on_command(cmd::reply);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(attribute("RE:  hello").substr(2, 1), "R");
    const std::string reply = read_bytes(drafts() + ".0/0");
    EXPECT_NE(reply.find("In-Reply-To: <1@example.com>\r\n"), std::string::npos) << reply;

    hand.then([](QWidget* modal) {
        auto* field = modal->findChild<QComboBox*>();
        ASSERT_NE(field, nullptr);
        type_into(field->lineEdit(), "jiro@example.com");
        qobject_cast<QDialog*>(modal)->accept();
    });
    window->on_command(cmd::forward);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(attribute("RE:  hello").substr(2, 2), "RF");
    EXPECT_NE(read_bytes(drafts() + ".1/0").find("Subject: Fwd: RE:  hello\r\n"), std::string::npos);
    EXPECT_EQ(editor.wait_for_runs(2).size(), 2u);
}

TEST_F(WindowCompose, TwoSentMailsAreResentAfterOneQuestion) {
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
    modal_hand hand;
    hand.then_box();
    window->on_command(cmd::resend);
    ASSERT_TRUE(hand.finished());
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
    names titles;
    modal_hand hand;
    for (auto [row, arrow] : {std::pair{"hello", Qt::Key_Right}, {"parts", Qt::Key_Left}}) {
        hand.then([&titles](QWidget* modal) {
            titles.push_back(modal->windowTitle().toStdString());
            qobject_cast<QDialog*>(modal)->reject();
        });
        click_row(row_of(row));
        key(arrow);
        ASSERT_TRUE(hand.finished());
    }
    EXPECT_EQ(titles, (names{"記載メールアドレス一覧", "添付ファイル一覧"}));
}

// The same bytes fed whole and in pieces of every size give the same
// requests; a line not yet ended waits.
TEST(RunningInstance, RequestsAreWholeLinesHoweverTheyArrive) {
    using kind = instance_request::kind;
    const std::string stream = "raise\nmailto mailto:a@example.jp?subject=%E4%BC%9A\r\nhello\n\nraise\nmailto x";
    const std::vector<instance_request> expected = {
        {kind::raise, {}}, {kind::open_link, "mailto:a@example.jp?subject=%E4%BC%9A"}, {kind::raise, {}}};
    for (std::size_t piece = 1; piece <= stream.size(); ++piece) {
        std::string received;
        std::vector<instance_request> requests;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            received += stream.substr(at, piece);
            for (instance_request& r : take_requests(received)) requests.push_back(std::move(r));
        }
        EXPECT_EQ(requests, expected) << piece;
        EXPECT_EQ(received, "mailto x") << piece;
    }
}

TEST_F(WindowCompose, ASecondStartsLinkFillsTheNewMailDialog) {
    open();
    int raised = 0;
    raise_listener listener([&] { ++raised; }, [this](const std::string& uri) { open_mailto_when_free(*window, uri); });
    modal_hand hand;
    hand.then_box();  // the addresses left out
    QString recipient, subject;
    hand.then_dialog<dialog_make_mail>([&](dialog_make_mail& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("新規メール作成"));
        recipient = dialog.recipient_field()->currentText();
        subject = dialog.subject_field()->text();
        QTest::mouseClick(dialog.ok_button(), Qt::LeftButton);
    });
    ASSERT_TRUE(ask_running_instance_to_raise());
    ASSERT_TRUE(hand_link_to_running_instance(
        "mailto:a@example.jp,b@example.jp?subject=%E4%BC%9A%E8%AD%B0&cc=c@example.jp&body=%E6%9C%AC%E6%96%87%0D%0A2"));
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(recipient, QString::fromUtf8("a@example.jp"));
    EXPECT_EQ(subject, QString::fromUtf8("会議"));
    EXPECT_EQ(hand.boxes(), names{"宛先には最初のアドレスだけが入ります.\n次のアドレスは、作成後に「記載メールアドレス一覧」で追加してください:"
                                  "\nb@example.jp\nc@example.jp"});
    EXPECT_EQ(editor.wait_for_runs(1), std::vector<std::vector<std::string>>{{drafts() + ".0/1"}});
    const std::string header = read_bytes(drafts() + ".0/0");
    EXPECT_NE(header.find("To: a@example.jp\r\n"), std::string::npos) << header;
    EXPECT_EQ(read_bytes(drafts() + ".0/1"), sj("本文\r\n2\r\n"));
}

TEST_F(WindowCompose, ABrokenLinkIsRefusedAndALinkWaitsForTheOpenDialog) {
    open();
    modal_hand hand;
    hand.then_box();
    open_mailto_when_free(*window, "mailto:a@example.jp?subject=%E4%BC");
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(hand.boxes(), names{"メールのリンクの文字が UTF-8 ではありません."});

    // A link that comes while a dialog is open is opened once it is closed.
    bool link_waited = false;
    hand.then([&](QWidget* modal) {
        QTest::qWait(300);
        link_waited = QApplication::activeModalWidget() == modal;
        qobject_cast<QDialog*>(modal)->reject();
    });
    QString subject;
    hand.then_dialog<dialog_make_mail>([&](dialog_make_mail& dialog) {
        subject = dialog.subject_field()->text();
        dialog.reject();
    });
    QTimer::singleShot(0, [&] { open_mailto_when_free(*window, "mailto:?subject=second"); });
    window->on_command(cmd::account_new);
    ASSERT_TRUE(hand.finished());
    EXPECT_TRUE(link_waited);
    EXPECT_EQ(subject, "second");
    EXPECT_FALSE(exists(drafts() + ".0"));
}

}  // namespace
}  // namespace qm::test
