#include "navigator/window_close.h"

#include "config/account_settings.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "store/outbox.h"
#include "store/trash_operations.h"

namespace qm {

void run_close_steps(std::string_view mailbox_root, const Settings& settings, reporter& report) {
    if (!settings.arrange_at_terminate && !settings.clear_trash) return;
    for (const std::string& title : list_accounts(mailbox_root)) {
        const std::string account_root = account_directory(mailbox_root, title);
        if (settings.arrange_at_terminate)
            arrange_run(special_folder_in(account_root, special_folder::inbox), account_root, report);
        if (settings.clear_trash) empty_trash_folder(account_root);
    }
}

std::optional<std::string> first_account_with_unsent_mail(std::string_view mailbox_root) {
    for (const std::string& title : list_accounts(mailbox_root)) {
        if (outbox_holds_mail(account_directory(mailbox_root, title))) return title;
    }
    return std::nullopt;
}

bool close_may_proceed(std::string_view mailbox_root, const Settings& settings, reporter& report) {
    if (!settings.tell_remain || !first_account_with_unsent_mail(mailbox_root)) return true;
    return report.confirm(str::confirm_unsent_exit);
}

}  // namespace qm
