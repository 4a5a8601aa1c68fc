// mailto: links handed to the running window: the requests on the local
// socket, the new-mail dialog filled in, and what it is told it cannot hold.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/mailto_request.h"
#include "app/running_instance.h"
#include "store/command_ids.h"
#include "support/recording_program.h"
#include "ui/dialog_make_mail.h"
#include "window_fixture.h"

namespace qm::test {
namespace {

using kind = instance_request::kind;

// The same bytes fed whole and in pieces of every size give the same
// requests; a line not yet ended waits.
TEST(RunningInstance, RequestsAreWholeLinesHoweverTheyArrive) {
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

class MailtoOpen : public window_test {
protected:
    MailtoOpen() { settings().text_editor = sj(editor.path()); }
    bool wait_for_hand(const modal_hand& hand) {
        return QTest::qWaitFor([&] { return hand.done() && !QApplication::activeModalWidget(); }, 10000);
    }
    std::string drafts() const { return account_dir() + " 送信箱/草稿/"; }
    void listen() {
        listener = std::make_unique<raise_listener>([this] { ++raised; },
                                                    [this](const std::string& uri) { open_mailto_when_free(*window, uri); });
    }

    recording_program editor{dir / "bin/editor", dir / "editor.log"};
    std::unique_ptr<raise_listener> listener;
    int raised = 0;
};

TEST_F(MailtoOpen, ASecondStartsLinkFillsTheNewMailDialog) {
    open();
    listen();
    modal_hand hand;
    hand.then_box();  // the addresses left out
    QString recipient, subject;
    hand.then([&](QWidget* modal) {
        auto* dialog = qobject_cast<dialog_make_mail*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("新規メール作成"));
        recipient = dialog->recipient_field()->currentText();
        subject = dialog->subject_field()->text();
        QTest::mouseClick(dialog->ok_button(), Qt::LeftButton);
    });
    ASSERT_TRUE(ask_running_instance_to_raise());
    ASSERT_TRUE(hand_link_to_running_instance(
        "mailto:a@example.jp,b@example.jp?subject=%E4%BC%9A%E8%AD%B0&cc=c@example.jp&body=%E6%9C%AC%E6%96%87%0D%0A2"));
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(recipient, QString::fromUtf8("a@example.jp"));
    EXPECT_EQ(subject, QString::fromUtf8("会議"));
    ASSERT_EQ(hand.boxes().size(), 1u);
    EXPECT_EQ(hand.boxes()[0],
              "宛先には最初のアドレスだけが入ります.\n次のアドレスは、作成後に「記載メールアドレス一覧」で追加してください:"
              "\nb@example.jp\nc@example.jp");
    EXPECT_EQ(editor.wait_for_runs(1), std::vector<std::vector<std::string>>{{drafts() + ".0/1"}});
    const std::string header = read_bytes(drafts() + ".0/0");
    EXPECT_NE(header.find("To: a@example.jp\r\n"), std::string::npos) << header;
    EXPECT_EQ(read_bytes(drafts() + ".0/1"), sj("本文\r\n2\r\n"));
}

TEST_F(MailtoOpen, ABrokenLinkIsRefusedAndALinkWaitsForTheOpenDialog) {
    open();
    modal_hand hand;
    hand.then_box();
    open_mailto_when_free(*window, "mailto:a@example.jp?subject=%E4%BC");
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_EQ(hand.boxes(), names{"メールのリンクの文字が UTF-8 ではありません."});

    // A link that comes while a dialog is open is opened once it is closed.
    bool link_waited = false;
    hand.then([&](QWidget* modal) {
        QTest::qWait(300);
        link_waited = QApplication::activeModalWidget() == modal;
        qobject_cast<QDialog*>(modal)->reject();
    });
    QString subject;
    hand.then([&](QWidget* modal) {
        auto* dialog = qobject_cast<dialog_make_mail*>(modal);
        ASSERT_NE(dialog, nullptr);
        subject = dialog->subject_field()->text();
        dialog->reject();
    });
    QTimer::singleShot(0, [&] { open_mailto_when_free(*window, "mailto:?subject=second"); });
    window->on_command(cmd::account_new);
    ASSERT_TRUE(wait_for_hand(hand));
    EXPECT_TRUE(link_waited);
    EXPECT_EQ(subject, "second");
    EXPECT_FALSE(exists(drafts() + ".0"));
}

}  // namespace
}  // namespace qm::test
