#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/reporter.h"

namespace qm {

// The trash of an account keeps its arrange rules ("arrange.lst") when it is
// emptied: the file never leaves the trash, so no failure on the way can
// lose it.
inline constexpr std::string_view trash_rules_file = "arrange.lst";

// Deletes everything in the account's trash (permanently) except its rules
// file, stopping at the first entry that cannot be deleted: what came
// before is gone, the rest stays. A missing trash is empty. Shows nothing:
// this is also the emptying at exit, which runs without messages.
bool empty_trash_folder(std::string_view account_root);

struct empty_trash_result {
    bool cancelled = false;  // the user said no: nothing was done
    bool emptied = false;
    // Set when the folder shown lay in the trash: show the trash itself and
    // rebuild the list (also after a failure, which left part of the trash).
    std::optional<std::string> show_folder;
};

// The empty-trash command for the account of the folder shown: asks
// "ごみ箱を空にしますか?", empties the trash, and shows
// "ファイルの読み書きに失敗しました." when that stopped half-way.
empty_trash_result empty_trash(std::string_view account_root, std::string_view folder_shown, reporter& report);

}  // namespace qm
