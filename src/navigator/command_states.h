#pragma once

#include <map>
#include <string_view>
#include <vector>

#include "navigator/command_ids.h"
#include "store/mail_list.h"

namespace qm {

// Which of the main window's commands can be given now, and why one cannot
// where that is not plain to see. Recomputed after every change of the list
// or of the selection.
class command_states {
public:
    // Every command on.
    command_states() = default;
    // Every command that acts on the mailbox off: there is no account.
    static command_states without_account();

    // A command not set is on; the tree's "new folder" (266) follows 213.
    bool enabled(int command) const;
    void set(int command, bool on, int reason = 0);
    // The string-table text that says why the command is off; 0 for none.
    int reason(int command) const;

    bool operator==(const command_states&) const = default;

private:
    std::map<int, bool> on_;
    std::map<int, int> reasons_;
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
// 7. 再送 (209) for several rows only when one of them is sent mail.
// 8. The tree's 改名 (265) on in a folder that is neither the account's own
//    directory nor one of its special folders.
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
