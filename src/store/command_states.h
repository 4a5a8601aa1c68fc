#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "store/command_ids.h"
#include "store/mail_list.h"

namespace qm {

// Which of the main window's commands can be given now: the toolbar buttons 203 to 213, 220 and 221, which the menu
// items and the tree pop-up item 266 follow. Recomputed after every change
// of the list or of the selection.
class command_states {
public:
    // Every command on.
    command_states() { on_.fill(true); }

    // Commands 203 to 213, 220, 221 and 送信 (267) as computed; the tree's
    // "new folder" (266) as 213; every other command true.
    bool enabled(int command) const;
    void set(int command, bool on);

    bool operator==(const command_states&) const = default;

private:
    static constexpr int first_ = cmd::open;
    static constexpr int last_ = cmd::parent_folder;
    std::array<bool, last_ - first_ + 1> on_{};
    bool send_ = true;
};

// The rules, from the typed rows of the folder shown (`folder`, a full path
// ending with "/", inside the account directory `account_root`), the
// indices of the selected rows and the focused row (-1 for none); indices
// outside the rows are ignored.
//
// 1. 220 and 221 are off in the account directory itself.
// 2. 213 is off in the inbox, outbox, drafts and sent folders.
// 3. Two or more rows selected: 203, 204, 209 and 210 on; 205 to 208 and
//    211 off; 212 on unless the folder lies in the trash.
// 4. One row selected, or none and a focused row: 203 on, and by that row:
//    - a folder: 204 to 209 off; 210, 211 and 212 (212 not in the trash) on
//      unless it is a special row (is_special_row), else off;
//    - a mail: 204 and 210 on, 212 unless in the trash; received mail ("!" or
//      blank): 205 when its header file has a From, Sender, Reply-To, To or
//      Cc line, 207 and 208 on; other mail: 205 on, 207 and 208 off; a draft:
//      206 and 211 on; other mail: 206 when a part file beyond the text part
//      exists ("2" when the mail has a text/plain part, "1" when it has
//      none), 211 off; 209 only for sent mail ("S").
// 5. No row to act on: 203 to 212 off.
// 6. 送信 (267) on when every row to act on (the selected ones, else the
//    focused one) is a draft ("D") in the drafts folder or the outbox.
//
// Only the one row of rule 4 is looked at on disk (its header file, or
// whether a part file exists).
command_states compute_command_states(std::string_view account_root, std::string_view folder,
                                      const std::vector<mail_row>& rows, const std::vector<int>& selected,
                                      int focused);

// Whether the row is one that never stays selected: the folder rows "..",
// " ごみ箱", " 受信箱", " 送信箱", "草稿" and "送信控", by their exact names. A mail whose subject reads so is an ordinary mail.
bool is_special_row(const mail_row& row);

}  // namespace qm
