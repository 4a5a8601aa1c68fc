#include "store/accounts.h"

#include "base/find_nocase.h"
#include "config/account_secrets.h"

#include <algorithm>

#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/tree_operations.h"
#include "config/folder_names.h"
#include "store/mailbox_layout.h"
#include "text/mail_address.h"

namespace qm {

bool ensure_mailbox(std::string_view mailbox, reporter& report) {
    if (directory_exists(mailbox)) return true;
    if (!make_directory(mailbox)) {
        report.error(str::file_error);
        return false;
    }
    account_values values{};
    values.pop_port = "110";
    values.smtp_port = "25";
    values.pop_remove = true;
    values.verify_certificate = true;
    if (create_account(mailbox, load_string(str::default_account), values)) return true;
    remove_directory(mailbox);
    report.error(str::file_error);
    return false;
}

bool create_account(std::string_view mailbox, std::string_view title, const account_values& values) {
    if (!is_valid_account_title(title)) return false;
    std::string root = account_directory(mailbox, title);
    if (!make_directory(root)) return false;
    if (!make_directory(special_folder_in(root, special_folder::trash))) {
        remove_directory(root);
        return false;
    }
    if (!make_special_folders(root) || !write_account_file(account_file(mailbox, title), values)) {
        delete_tree(root, false);
        return false;
    }
    return true;
}

bool update_account(std::string_view mailbox, std::string_view old_title, std::string_view new_title,
                    const account_values& values) {
    if (!is_valid_account_title(old_title) || !is_valid_account_title(new_title)) return false;
    if (old_title != new_title) {
        std::string from = std::string(mailbox) + std::string(old_title);
        std::string to = std::string(mailbox) + std::string(new_title);
        if (!rename_path(from, to)) return false;
    }
    return write_account_file(account_file(mailbox, new_title), values);
}

bool delete_account(std::string_view mailbox, std::string_view title) {
    if (!is_valid_account_title(title)) return false;
    const std::string keyring_id = load_current_account(mailbox, title).keyring_id;
    if (!delete_tree(account_directory(mailbox, title), false)) return false;
    forget_keyring_secrets(keyring_id);
    return true;
}

int check_oauth2_settings(const account_values& values) {
    if (!values.pop_oauth2 && !values.smtp_oauth2) return 0;
    if ((values.pop_oauth2 && !values.pop_over_ssl && !values.pop_stls) ||
        (values.smtp_oauth2 && !values.smtp_over_ssl && !values.smtp_starttls))
        return str::oauth2_needs_tls;
    if (values.oauth2_authorize_url.empty() || values.oauth2_token_url.empty() || values.oauth2_client_id.empty())
        return str::oauth2_incomplete;
    if (!starts_with_nocase(values.oauth2_authorize_url, "https://") ||
        !starts_with_nocase(values.oauth2_token_url, "https://"))
        return str::oauth2_needs_https;
    return 0;
}

bool confirm_account_deletion(reporter& report) {
    return report.confirm(str::confirm_delete) && report.confirm(str::confirm_delete_all_mail);
}

int check_account(std::string_view mailbox, std::string_view title, std::string_view name,
                  std::string_view address, bool is_new_title) {
    if (!is_valid_account_title(title)) return str::folder_name_rules;
    if (!is_valid_display_name(name)) return str::invalid_display_name;
    if (!is_valid_address(address)) return str::invalid_address;
    if (is_new_title && account_exists(mailbox, title)) return str::name_exists;
    return 0;
}

}  // namespace qm
