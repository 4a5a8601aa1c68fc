// What reaches the running window from outside: a second start hands its requests over as whole
// lines, however the bytes arrive; a mailto: link is kept until the dialog open at the time has
// closed, and what the dialog cannot hold is said.

#include "app/mailto_request.h"
#include "app/running_instance.h"
#include "app/window_fixture.h"
#include "ui/dialog_make_mail.h"

namespace qm::test {
namespace {

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
    EXPECT_FALSE(exists(account_dir() + " 送信箱/草稿/.0"));
}

}  // namespace
}  // namespace qm::test
