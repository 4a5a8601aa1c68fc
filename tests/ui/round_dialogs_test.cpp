// The dialogs of a round on their own. The password prompt: what it hides, how much it takes, and
// that nothing of the typed password stays behind. The job dialog's log: capped, and cut at whole
// lines and characters. What the prompt names and its Cancel, and the job dialog itself (Abort, Esc,
// a failure waiting for 閉じる, a trace, Shift held), the window's rounds show against their servers.

#include <QDialogButtonBox>

#include "app/modal_hand.h"
#include "entry_dialog_test.h"
#include "store/send_receive.h"
#include "ui/dialog_password.h"
#include "ui/job_log.h"

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
    EXPECT_TRUE(pop.field()->text().isEmpty() && !pop.field()->isUndoAvailable());

    // A character CP932 cannot hold: a notice that does not show it, and the prompt again.
    modal_hand hand;
    hand.then_name("p😀");
    hand.then_box();
    hand.then_name("秘密 pass");
    EXPECT_TRUE(ask_round_password(nullptr, password_server::smtp, "a", "h", password));
    EXPECT_EQ(password, sj("秘密 pass"));
    EXPECT_EQ(hand.boxes(), names{"パスワードに使えない文字が含まれています."});
}

TEST(JobLog, DropsAtTheLimitCountingTheZeroAndALongerLineKeepsItsEndInWholeCharacters) {
    std::string log = "ab\r\n";
    EXPECT_FALSE(append_to_job_log(log, "cdefg", 11));  // 9 characters and the zero
    EXPECT_TRUE(append_to_job_log(log, "h", 11));  // 10 and the zero: the first line goes
    EXPECT_EQ(log, "cdefgh");
    std::string kanji;
    for (int i = 0; i < 40; ++i) kanji += sj("あ");
    log = "old\r\nx";
    EXPECT_TRUE(append_to_job_log(log, kanji, 21));
    EXPECT_EQ(log, kanji.substr(0, 20 - 2));  // 9 characters: 18 bytes and the zero below 21
}

}  // namespace
}  // namespace qm::test
