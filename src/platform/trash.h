#pragma once

#include <string>
#include <string_view>

namespace qm {

// The user's trash ($XDG_DATA_HOME/Trash, by default
// ~/.local/share/Trash/), as the desktop's file managers keep it.
std::string trash_directory();

// Moves a file or a whole directory into the trash, with the .trashinfo that
// lets the desktop restore it. True when the path is in the trash and gone
// from its place; on a failure it stays where it was.
bool move_to_trash(std::string_view path);

}  // namespace qm
