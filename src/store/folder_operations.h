#pragma once

#include <string_view>

#include "platform/reporter.h"
#include "store/folder_moves.h"
#include "config/folder_names.h"
#include "store/trash_operations.h"

namespace qm {

// Making and renaming folders, and changing a message's subject: the name
// dialogs' operations. `folder` is the folder shown (a full CP932 path
// ending with "/"). Each returns true when the dialog may close; on false the
// reason has been shown and the dialog stays open:
// - the folder-name rule text (notice) for a name that is not acceptable
//   (see is_acceptable_folder_name);
// - "すでに同名のものが存在します." (notice) when the name is taken;
// - "ファイルの読み書きに失敗しました." (error) when the file system refuses.

// Makes the folder `name` in the folder shown. The empty name is taken: it
// names the folder shown itself.
bool make_folder(std::string_view folder, std::string_view name, reporter& report);

// Renames the folder `old_name` of the folder shown. File names are
// case-sensitive: "Work" may become "work" unless a different folder "work"
// exists, which is never merged or replaced. An unchanged name succeeds
// without touching anything. A special folder is never renamed (false,
// nothing shown: its row offers no rename).
bool rename_folder(std::string_view folder, std::string_view old_name, std::string_view new_name, reporter& report);

// Replaces the Subject of the message `message_name` ("12" for ".12/") of
// the folder shown.
bool change_subject(std::string_view folder, std::string_view message_name, std::string_view subject,
                    reporter& report);

}  // namespace qm
