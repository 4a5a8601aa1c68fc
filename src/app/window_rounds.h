#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "store/send_receive.h"

class QWidget;

namespace qm {

// What the window does for a round of send and receive.
struct window_round_hooks {
    // New mail was filed: show this inbox (an account directory's " 受信箱/")
    // and rebuild the mail list.
    std::function<void(std::string_view inbox)> show_inbox;
    // The round of all accounts visits this account next: make it current.
    std::function<void(std::string_view title)> visiting_account;
    // Whether Shift is held; the keyboard's state when not given. Shift at the
    // start of a job shows its trace, at its end keeps the dialog open.
    std::function<bool()> shift_held;
};

// Send and receive for one account from the window (command 216): asks
// "サーバにアクセスしますか?" first, then runs the round with the window's
// job dialogs, password prompts and message boxes; filing runs under a wait
// cursor. The round's result; cancelled when the question was answered with
// Cancel, a password prompt was cancelled, or a round already runs.
round_result run_send_receive(QWidget* window, const std::string& mailbox, const std::string& account_title,
                              window_round_hooks hooks);

// The same for every account in turn (command 217), after one question; ends
// with "巡回送受信が終了しました.". The first failure is returned.
round_result run_send_receive_all(QWidget* window, const std::string& mailbox, window_round_hooks hooks);

// Whether a round may start: none runs, and the user answered
// "サーバにアクセスしますか?" with OK.
bool round_may_start(QWidget* window);

// The send round (command 送信) for one account, its question already
// answered (round_may_start): the outbox is sent, then "2通のメールを送信しました.".
round_result run_send_queued(QWidget* window, const std::string& mailbox, const std::string& account_title,
                             window_round_hooks hooks);

// Whether a round runs now (its dialogs and boxes are open in front of the
// window).
bool round_running();

// Ends the running round without asking anything, for a session that ends:
// the job in progress is cancelled (complete downloads wait in the work
// directory for the next round), a password prompt or message box of the
// round is closed, no further account is visited and no message is shown.
// The round's entry point returns as soon as the job's worker has ended;
// the caller lets the event loop run until round_running() is false.
void cancel_running_round();

}  // namespace qm
