#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reporter.h"

namespace qm {

// Moving messages and folders between folders. Every path is a full CP932
// path ending with "/".
//
// The rules that keep mail where it belongs:
// - No folder moves into an account's inbox, outbox, drafts or sent folder,
//   a special folder never moves, and no folder moves into itself or below
//   itself.
// - Received mail (type blank or "!") never goes into an outbox, drafts or
//   sent folder; sent mail ("S") never into an inbox, outbox or drafts; a
//   draft ("D") only into a trash, an outbox or drafts.
// A target is judged by the account it lies in, so that mail cannot reach
// another account's outbox by a detour. Refused rows are skipped without a
// message; the others are still moved. Moving never changes a message's
// type or flags.

// Where the user stands: the mailbox root, the account directory of the
// folder shown, and the folder shown.
struct folder_place {
    std::string mailbox;
    std::string account_root;
    std::string folder;
};

// One selected row of the mail list.
struct selected_row {
    bool folder = false;
    std::string name;  // a folder's name, or a message's number ("12" for ".12/")
    char type = ' ';   // a message's type: the first character of its attribute text
};

struct moved_row {
    std::size_t index = 0;  // into the selection
    std::string new_path;   // the folder or message directory it now is
};

struct move_result {
    std::vector<moved_row> moved;  // in selection order: these rows leave the list
    bool failed = false;           // a step failed; the rows after it were not tried
};

// Moves the selected rows of the folder shown into `target`, in selection
// order. A folder whose name is taken in the target gets "_" added until it
// is free ("work" becomes "work_", then "work__"). A message takes the
// lowest free number of the target; it moves as a whole directory or not at
// all. The first step that fails ends the run: "ファイルの読み書きに失敗しました."
// is shown once, and what was moved before stays moved.
move_result move_rows(const folder_place& place, std::string_view target, const std::vector<selected_row>& rows,
                      reporter& report);

struct folder_move_result {
    bool moved = false;
    std::string new_path;  // where the folder now is
    // Set when the folder shown lay inside the moved folder: the folder to
    // show from now on (the moved folder's parent), set even when the move
    // then fails.
    std::optional<std::string> show_folder;
};

// Moves the folder `folder` (dragged in the folder tree) into `target`.
// Refused without a message: a special folder or an account directory, a
// target that is an inbox, outbox, drafts or sent folder, the folder itself
// or a folder below it, and the folder's own parent (where it already is).
// On a failure "ファイルの読み書きに失敗しました." is shown.
folder_move_result move_folder(const folder_place& place, std::string_view folder, std::string_view target,
                               reporter& report);

// The target of the move command when the user is not asked: the drafts
// folder when the outbox is shown, the outbox when drafts are shown; nullopt
// elsewhere (the user chooses a folder).
std::optional<std::string> fixed_move_target(std::string_view account_root, std::string_view folder);

// The account directory a path lies in (mailbox root + its first component
// + "/"); empty when the path is not below an account directory of the
// mailbox.
std::string account_root_of(std::string_view mailbox, std::string_view path);

// `directory` + `name` + "/", with "_" added to the name until nothing of
// that name exists.
std::string free_folder_path(std::string_view directory, std::string_view name);

}  // namespace qm
