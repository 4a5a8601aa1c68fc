#pragma once

#include <string>
#include <string_view>

namespace qm {

// Moving the whole mailbox to another directory, when the mailbox folder of
// the function options changes. Paths are CP932 and end with "/". The move
// is a copy that is checked before anything of the old tree goes: until the
// copy is whole and equal, the old mailbox stays exactly as it was and
// nothing of the copy is left behind. The caller makes sure that a failed
// move never leaves the settings naming a mailbox that is not there.

enum class mailbox_move_status {
    moved,             // the mailbox is in the new place and the old tree is gone
    moved_old_left,    // the mailbox is in the new place, but some of the old tree could not be deleted
    same_directory,    // both paths lead to one directory: there was nothing to move
    target_inside,     // the new place lies inside the mailbox
    mailbox_inside,    // the mailbox lies inside the new place
    target_not_empty,  // the new place already holds something
    unusable_entry,    // the mailbox holds what no copy keeps: a device, a pipe, a name without CP932 form
    file_in_use,       // another program holds a file of the mailbox open (a draft in the text editor)
    failed,            // the new directory could not be made, or the copy failed or differs
};

struct mailbox_move_result {
    mailbox_move_status status = mailbox_move_status::failed;

    // Whether the program goes on with the new path: the mail is there.
    bool use_new_path() const;
    // The string-table id of the message to show, or 0.
    int message() const;
};

// What move_mailbox would say before it copies anything: moved when the
// move may go ahead (a target that does not exist must have a parent to be
// made in), else the refusal. Nothing is made or changed. A file open in
// another program stops the move: that program would go on writing into the
// old tree after it is deleted, and the user's text would be lost.
mailbox_move_result check_mailbox_move(std::string_view mailbox, std::string_view new_mailbox);

// Moves everything of `mailbox` into `new_mailbox`, which is made when it
// does not exist (its parent must) and must be empty when it does. Symbolic
// links are copied as links, never followed. Every directory, file and link
// of the copy is compared with the original (files byte for byte) before the
// old tree is deleted. On a failure before that, what was copied is removed
// again, and a directory made for the copy with it.
mailbox_move_result move_mailbox(std::string_view mailbox, std::string_view new_mailbox);

// A path in the old mailbox (the current folder, the account directory) as it
// is after the move; a path elsewhere stays as it is.
std::string rerooted_path(std::string_view path, std::string_view mailbox, std::string_view new_mailbox);

}  // namespace qm
