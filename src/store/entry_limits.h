#pragma once

#include <string_view>

namespace qm {

// Whether one more account, signature or template may be made: 0, or the
// string-table id of the message to show (str::too_many_items at the limit,
// str::file_error for a list that cannot be read). The address book and
// the groups have theirs beside them (check_new_address_entry,
// check_new_group).

// Each list is shown as a menu or a selector, which holds at most this many.
inline constexpr int max_accounts = 99;

// `mailbox` is the mailbox root, `account_root` an account directory; both
// end with "/".
int check_new_account(std::string_view mailbox);
int check_new_signature(std::string_view account_root);
int check_new_template(std::string_view account_root);

}  // namespace qm
