// The password prompt of a round: what it hides, how much it takes, and that
// nothing of the typed password stays behind. What it names and its Cancel
// the window's rounds show.

#include <QDialogButtonBox>

#include "app/modal_hand.h"
#include "entry_dialog_test.h"
#include "store/send_receive.h"
#include "ui/dialog_password.h"

namespace qm::test {
namespace {

TEST(DialogPassword, HidesWhatIsTypedTakesAtMost127BytesAndAsksAgainAfterABadCharacter) {
    dialog_password pop(nullptr, password_server::pop3, sj("自宅"), "pop.example.com");
    look_at(pop, "POP3パスワード?");
    EXPECT_EQ(pop.field()->echoMode(), QLineEdit::Password);
    // OK waits for a password: an empty one would only fail at the server.
    QPushButton* ok = pop.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    EXPECT_FALSE(ok->isEnabled());
    type_into(pop.field(), std::string(125, 'y') + "パス");  // a double-byte character never cut
    EXPECT_TRUE(ok->isEnabled());
    std::string password = "old";
    ASSERT_TRUE(pop.take_password(password));
    EXPECT_EQ(password, std::string(125, 'y') + sj("パ"));
    EXPECT_TRUE(pop.field()->text().isEmpty());
    EXPECT_FALSE(pop.field()->isUndoAvailable());

    // A character CP932 cannot hold: a notice that does not show it, and the prompt again.
    modal_hand hand;
    hand.then_name("p😀");
    hand.then_box();
    hand.then_name("秘密 pass");
    EXPECT_TRUE(ask_round_password(nullptr, password_server::smtp, "a", "h", password));
    EXPECT_EQ(password, sj("秘密 pass"));
    EXPECT_EQ(hand.boxes(), names{"パスワードに使えない文字が含まれています."});
}

}  // namespace
}  // namespace qm::test
