#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "platform/reporter.h"

namespace qm {

// What closing the main window does before the window goes, in two steps.
// Accounts are taken in the order of
// list_accounts.

// Step 1, for every account of the mailbox: with `arrange_at_terminate`, the
// arrange rules run over its inbox; with `clear_trash`, its trash is emptied
// but for the trash's own "arrange.lst". Nothing is asked: an arranging move
// that fails is reported as the arrange command reports it, and a trash that
// cannot be emptied whole is left as far as it got without a message. The
// window refills its list afterwards.
void run_close_steps(std::string_view mailbox_root, const Settings& settings, reporter& report);

// The first account whose outbox holds mail waiting to be sent (more than
// its drafts and sent folders); nullopt when none does.
std::optional<std::string> first_account_with_unsent_mail(std::string_view mailbox_root);

// Step 2: whether the close goes on. With `tell_remain` and unsent mail in
// some account, asks "送信箱に未送信のメールが残っていますが終了しますか?" (once,
// however many accounts hold mail); Cancel stops the close.
bool close_may_proceed(std::string_view mailbox_root, const Settings& settings, reporter& report);

}  // namespace qm
