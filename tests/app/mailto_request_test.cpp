// A mailto: link given to the window: kept until the dialog open at the time
// has closed, and what the dialog cannot hold is said.

#include <gtest/gtest.h>

#include <QLineEdit>

#include "app/mailto_request.h"
#include "app/window_fixture.h"
#include "navigator/command_ids.h"
#include "ui/dialog_make_mail.h"

namespace qm::test {
namespace {

using MailtoRequest = window_test;

TEST_F(MailtoRequest, ALinkWaitsForTheOpenDialogAndWhatItCannotHoldIsSaid) {
    open();
    modal_hand hand;
    bool link_waited = false;
    hand.then([&](QWidget* modal) {
        QTest::qWait(300);
        link_waited = QApplication::activeModalWidget() == modal;
        qobject_cast<QDialog*>(modal)->reject();
    });
    hand.then_box();  // the addresses the dialog cannot hold
    QString subject;
    hand.then_dialog<dialog_make_mail>([&](dialog_make_mail& dialog) {
        subject = dialog.subject_field()->text();
        dialog.reject();
    });
    QTimer::singleShot(0, [&] {
        open_mailto_when_free(*window, "mailto:a@example.jp,b@example.jp?subject=second&cc=c@example.jp");
    });
    window->on_command(cmd::account_new);
    ASSERT_TRUE(hand.finished());
    EXPECT_TRUE(link_waited);
    EXPECT_EQ(subject, "second");
    ASSERT_EQ(hand.boxes().size(), 1u);
    EXPECT_TRUE(hand.boxes()[0].ends_with(":\nb@example.jp\nc@example.jp")) << hand.boxes()[0];
    EXPECT_FALSE(exists(drafts() + ".0"));
}

}  // namespace
}  // namespace qm::test
