#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/layout.h"

namespace qm {

// The twelve folder marks of the main window (commands 223 to 246) and the
// previous position the go-to-mark command returns to. Marks are numbered
// from 0 (command 223 + n marks, 235 + n goes to mark n); paths are relative
// to the mailbox root and end with "/", the first component naming the
// account. Marks outside 0 to 11 do nothing.

// Mark n becomes the folder shown, and so does the previous position.
void mark_current_folder(Layout& layout, int mark, std::string_view current_relative);

// Going to mark n: the folder to show, relative to the mailbox root, or
// nullopt when nothing happens. When mark n is the folder shown, it is the
// previous position (which stays); otherwise it is the mark, and the
// previous position becomes the folder shown, so that going to the same
// mark twice comes back to where the first jump started. Nothing happens
// for an empty mark or one whose account (first component) is no longer
// there. When the account is there but the marked folder is not (deleted,
// moved or renamed since), the nearest folder on the mark's path that still
// exists is shown, the account directory at the least; the mark itself stays
// as it is.
std::optional<std::string> go_to_mark(Layout& layout, int mark, std::string_view current_relative,
                                      std::string_view mailbox_root);

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

// The same for what the layout keeps: the folder shown, the twelve marks
// and the previous position follow the renamed account.
void rename_account_in_layout(Layout& layout, std::string_view old_title, std::string_view new_title);

}  // namespace qm
