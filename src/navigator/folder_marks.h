#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/layout.h"

namespace qm {

// Paths relative to the mailbox root (ending with "/", the first component
// naming the account) as the marks and the window keep them; the moves
// between marks are the navigator's (navigator.h).

// The index of the account a relative path lies in: the entry of
// `account_names` equal to its first component; -1 when there is none.
int account_index_of(std::string_view relative, const std::vector<std::string>& account_names);

// The menu item of mark n: " 1" to "12" (CP932), then a blank and the
// marked path when there is one. An "&" of the path is doubled so that it
// shows as itself rather than marking an access key.
std::string mark_menu_label(int mark, std::string_view path);

// An account got a new title: a path relative to the mailbox root whose
// first component is the old title (compared exactly, as titles are file
// names) gets the new one in its place; any other path stays.
void rename_account_in_path(std::string& relative, std::string_view old_title, std::string_view new_title);

}  // namespace qm
