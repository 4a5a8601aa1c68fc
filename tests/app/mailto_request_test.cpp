// A mailto: link given to the window: refused when broken, and kept until the
// dialog open at the time has closed.

#include <gtest/gtest.h>

#include <QLineEdit>

#include "app/mailto_request.h"
#include "app/window_fixture.h"
#include "navigator/command_ids.h"
#include "ui/dialog_make_mail.h"

namespace qm::test {
namespace {

using MailtoRequest = window_test;

TEST_F(MailtoRequest, ABrokenLinkIsRefusedAndALinkWaitsForTheOpenDialog) {
    open();
    modal_hand hand;
    hand.then_box();
    open_mailto_when_free(*window, "mailto:a@example.jp?subject=%E4%BC");
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(hand.boxes(), names{"メールのリンクの文字が UTF-8 ではありません."});

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
