#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/layout.h"
#include "store/mail_list.h"

namespace qm {

// Where the main window stands, as one value: the mailbox and its accounts,
// the account and folder shown, the folder last shown in every account, the
// search text, the sort and the twelve folder marks. Every move is a
// function from one such value to the next; what exists on disk is asked
// through a folder_probe, so that the moves can be tried without a mailbox.
// The window shows what the value says and holds no place of its own.
//
// Paths: `mailbox` and `folder` are full paths ending with "/"; the others
// ("relative") are relative to the mailbox and end with "/", their first
// component naming the account. All CP932.
struct navigator {
    std::string mailbox;
    std::vector<std::string> accounts;      // titles, in listing order
    std::vector<std::string> last_folders;  // relative, one per account
    int account = -1;                       // the account shown; -1 when there is none
    std::string folder;                     // the folder shown; empty when there is no account
    std::string search;                     // the search text; empty: no search
    sort_state sort;
    std::array<std::string, layout_mark_count> marks;  // relative; empty when unset
    std::string previous;                              // where the last go-to-mark came from

    bool has_account() const { return account >= 0 && static_cast<std::size_t>(account) < accounts.size(); }
    std::string account_title() const;
    // The account directory shown ("" without an account).
    std::string account_root() const;
    // The folder shown relative to the mailbox ("" without an account).
    std::string relative_folder() const;
    bool at_account_root() const { return has_account() && folder == account_root(); }
};

// Whether a folder (full path ending with "/") is there.
using folder_probe = std::function<bool(const std::string& folder)>;
// The one the window uses: the directory exists.
bool folder_on_disk(const std::string& folder);

// The value at the start: the accounts of the mailbox, the folder the layout
// kept (when its account is still there, else the first account's root),
// the layout's sort and marks.
navigator start_navigator(std::string_view mailbox, std::vector<std::string> accounts, const Layout& layout,
                          const folder_probe& exists);

// The account list changed (an account made, renamed, deleted, a new
// mailbox): the folder shown stays when its account is still there, else
// the first account's root is shown; no account at all leaves nothing shown.
void reload_accounts(navigator& nav, std::string_view mailbox, std::vector<std::string> accounts,
                     const folder_probe& exists);

// Shows account `index`: the folder last shown in it, or its root when that
// folder is gone. False (nothing changes) for an index out of range.
bool select_account(navigator& nav, int index, const folder_probe& exists);
// The same by title.
bool select_account(navigator& nav, std::string_view title, const folder_probe& exists);

// Shows `folder` (full path) when it lies in the account shown; false else.
bool show_folder(navigator& nav, std::string_view folder);

// Enter on a folder row: its folder, or for ".." the parent. The name of
// the row to focus afterwards ("" for the first row).
std::optional<std::string> enter_row(navigator& nav, const mail_row& row);

// Up to the parent folder: the name of the folder left, whose row takes the
// focus; nullopt (nothing changes) at the account's root.
std::optional<std::string> go_to_parent(navigator& nav);

// To the account's root.
void go_to_root(navigator& nav);

// Marks (commands 223 + n): mark n, and the previous position, become the
// folder shown.
void set_mark(navigator& nav, int mark);

// Going to mark n (commands 235 + n): when the mark is the folder shown, back
// to the previous position (which stays); else to the mark, and the previous
// position becomes the folder shown, so that the same mark twice comes back.
// A marked folder that is gone gives the nearest folder on its path that is
// there. False (nothing changes) for an empty mark, a mark out of range, and
// a mark whose account is gone.
bool go_to_mark(navigator& nav, int mark, const folder_probe& exists);

// An account got a new title: the folder shown, the folders last shown, the
// marks and the previous position follow it.
void account_renamed(navigator& nav, std::string_view old_title, std::string_view new_title);

// Where rows dropped on `row` of the list go: a folder row's folder, ".."
// the parent, no row (empty space) the folder shown. nullopt for a mail row.
std::optional<std::string> drop_target(const navigator& nav, const mail_row* row);

// The name a row is found by after a refill: a folder's name, a mail's number.
std::string row_key(const mail_row& row);
// The row that takes the focus after a refill: the one whose key is `keep`,
// else the first row; -1 for no rows.
int focus_after_refill(const std::vector<mail_row>& rows, std::string_view keep);

// What the layout keeps of the value: the folder shown, the sort and the marks.
void store_in_layout(const navigator& nav, Layout& layout);

}  // namespace qm
