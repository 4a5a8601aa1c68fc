#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/account_settings.h"
#include "platform/reporter.h"

namespace qm {

// Accounts are the directories directly under the mailbox root: each is
// named by its title and holds its special folders, its "uid.lst" and its
// "account.ini". There is no list of accounts besides the directories.

// The first start: when the mailbox directory is missing it is made, with
// the account "標準アカウント" in it (POP port 110, SMTP port 25, "POP remove"
// on). An existing mailbox is left as it is. A failure is reported, and a
// half-made mailbox removed so that the next start tries anew; false then.
bool ensure_mailbox(std::string_view mailbox, reporter& report);

// Makes the account directory with its five folders (trash, inbox, outbox,
// drafts, sent) and writes "account.ini" (mode 0600): the 17 keys and
// "verify certificate", in that order. An existing directory is never taken
// over. On any failure nothing of the new account is left behind.
bool create_account(std::string_view mailbox, std::string_view title, const account_values& values);

// Gives the account its new title (when it differs, exactly) and writes
// every key again. A failed rename changes nothing; the keys are written in
// one rewrite, and false when that fails.
bool update_account(std::string_view mailbox, std::string_view old_title, std::string_view new_title,
                    const account_values& values);

// Deletes the account directory with all its folders and mail, permanently.
bool delete_account(std::string_view mailbox, std::string_view title);

// The dialog's two questions before deleting an account: "削除しますか?",
// then "以下全てのメールが削除されますがよろしいですか?". True when both were
// answered OK.
bool confirm_account_deletion(reporter& report);

// The account dialog's checks before saving, in this order: the title is a
// valid folder name (str::folder_name_rules), the name a valid display name
// (str::invalid_display_name), the address a valid address
// (str::invalid_address), and a new title must not name an existing account
// (str::name_exists). `is_new_title` is true for a new account and for any
// change of the title, compared exactly (titles are file names, and file
// names are case-sensitive). The string-table id of the first failure, or 0.
int check_account(std::string_view mailbox, std::string_view title, std::string_view name,
                  std::string_view address, bool is_new_title);

// The OAuth 2.0 settings' checks before saving: a server that logs in with
// OAuth 2.0 is reached over TLS (str::oauth2_needs_tls), the authorization
// and token addresses and the client id are given (str::oauth2_incomplete)
// and both addresses are https (str::oauth2_needs_https). 0 when they pass
// or no server uses OAuth 2.0.
int check_oauth2_settings(const account_values& values);

}  // namespace qm
