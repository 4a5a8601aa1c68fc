#pragma once

#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace qm {

// "移動先フォルダの選択": the folders of the mailbox as a tree, each account
// at the top, opened at `account_root`. The chosen folder (full CP932 path
// ending with "/"), or nullopt when the user cancels.
std::optional<std::string> choose_folder(QWidget* parent, std::string_view mailbox, std::string_view account_root);

}  // namespace qm
