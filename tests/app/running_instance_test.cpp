// A second start hands its requests to the running window: whole lines,
// however the bytes arrive, and a mailto: link that fills the new-mail dialog.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/mailto_request.h"
#include "app/running_instance.h"
#include "app/window_fixture.h"
#include "support/recording_program.h"
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

using RunningWindow = window_test;

// The addresses beyond the first are named in a box; the body is the draft's text part.
TEST_F(RunningWindow, ASecondStartsLinkFillsTheNewMailDialog) {
    recording_program editor{dir / "bin/editor", dir / "editor.log"};
    settings().text_editor = sj(editor.path());
    open();
    int raised = 0;
    raise_listener listener([&] { ++raised; }, [this](const std::string& uri) { open_mailto_when_free(*window, uri); });
    modal_hand hand;
    hand.then_box();
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
    ASSERT_EQ(hand.boxes().size(), 1u);
    EXPECT_TRUE(hand.boxes()[0].ends_with(":\nb@example.jp\nc@example.jp")) << hand.boxes()[0];
    EXPECT_EQ(editor.wait_for_runs(1), std::vector<std::vector<std::string>>{{drafts() + ".0/1"}});
    EXPECT_NE(read_bytes(drafts() + ".0/0").find("To: a@example.jp\r\n"), std::string::npos);
    EXPECT_EQ(read_bytes(drafts() + ".0/1"), sj("本文\r\n2\r\n"));
}

}  // namespace
}  // namespace qm::test
