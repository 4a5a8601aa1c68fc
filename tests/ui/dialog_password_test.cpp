// The password prompt of a round: what it names, what it hides, how much it
// takes, and that nothing of the typed password stays behind.

#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "entry_dialog_test.h"
#include "store/send_receive.h"
#include "ui/dialog_password.h"

namespace qm::test {
namespace {

TEST(DialogPassword, NamesTheAccountAndServerHidesWhatIsTypedAndWaitsForIt) {
    dialog_password pop(nullptr, password_server::pop3, sj("自宅"), "pop.example.com");
    look_at(pop, "POP3パスワード?");
    EXPECT_EQ(pop.question()->text(), ui("アカウント \"自宅\" のPOP3サーバ pop.example.com のパスワード(&P):"));
    EXPECT_EQ(pop.field()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(pop.question()->buddy(), pop.field());
    // OK waits for a password: an empty one would only fail at the server.
    QPushButton* ok = pop.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    EXPECT_FALSE(ok->isEnabled());
    type(pop.field(), "x");
    EXPECT_TRUE(ok->isEnabled());
    QTest::keyClick(pop.field(), Qt::Key_Backspace);
    EXPECT_FALSE(ok->isEnabled());

    dialog_password smtp(nullptr, password_server::smtp, "work", "smtp.example.com");
    EXPECT_EQ(smtp.windowTitle(), ui("SMTPパスワード?"));
    EXPECT_EQ(smtp.question()->text(), ui("アカウント \"work\" のSMTPサーバ smtp.example.com のパスワード(&P):"));
}

TEST(DialogPassword, TakesAtMost127BytesAndLeavesTheFieldEmpty) {
    dialog_password dialog(nullptr, password_server::pop3, "a", "h");
    dialog.show();
    QTest::keyClicks(dialog.field(), QString(130, QLatin1Char('x')));
    EXPECT_EQ(dialog.field()->text().size(), 127);
    type(dialog.field(), std::string(125, 'y') + "パス");  // a double-byte character never cut
    EXPECT_EQ(dialog.field()->text(), ui(std::string(125, 'y') + "パ"));
    std::string password = "old";
    ASSERT_TRUE(dialog.take_password(password));
    EXPECT_EQ(password, std::string(125, 'y') + sj("パ"));
    EXPECT_TRUE(dialog.field()->text().isEmpty());
    EXPECT_FALSE(dialog.field()->isUndoAvailable());
}

TEST(DialogPassword, OkHandsThePasswordOverCancelGivesNothingAndABadCharacterIsAskedAgain) {
    std::string password;
    with_modal<dialog_password>(
        [&] { EXPECT_TRUE(ask_round_password(nullptr, password_server::smtp, "a", "h", password)); },
        [](dialog_password& dialog) {
            type(dialog.field(), "秘密 pass");
            dialog.accept();
        });
    EXPECT_EQ(password, sj("秘密 pass"));

    with_modal<dialog_password>(
        [&] { EXPECT_FALSE(ask_round_password(nullptr, password_server::pop3, "a", "h", password)); },
        [](dialog_password& dialog) { type(dialog.field(), "typed"); });  // then Cancel

    // A character CP932 cannot hold: a notice that does not show it, and the prompt again.
    std::vector<std::string> notices;
    int prompts = 0;
    QTimer hand;
    QObject::connect(&hand, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->isVisible()) {
            notices.push_back(box->text().toStdString());
            box->accept();
        } else if (auto* dialog = qobject_cast<dialog_password*>(modal); dialog && dialog->isVisible() &&
                                                                       dialog->field()->text().isEmpty()) {
            type(dialog->field(), ++prompts == 1 ? "p😀" : "plain");
            dialog->accept();
        }
    });
    hand.start(5);
    EXPECT_TRUE(ask_round_password(nullptr, password_server::pop3, "a", "h", password));
    EXPECT_EQ(password, "plain");
    EXPECT_EQ(prompts, 2);
    EXPECT_EQ(notices, names{"パスワードに使えない文字が含まれています."});
}

}  // namespace
}  // namespace qm::test
