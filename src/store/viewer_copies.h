#pragma once

#include <string_view>

#include "store/message_opening.h"

namespace qm {

// Every copy that opening a mail writes for the viewer bears this prefix.
inline constexpr std::string_view viewer_copy_prefix = "qlm_";
static_assert(text_copy_template.starts_with(viewer_copy_prefix) && html_copy_template.starts_with(viewer_copy_prefix));

// At program exit: deletes every file of the temporary directory (ending
// with "/") whose name begins with "qlm_", whatever its mode. A symbolic link
// of such a name goes, never what it points to; directories stay, and so
// does everything else. True when none is left (a missing directory holds
// none); false when the directory cannot be read or a copy not deleted.
bool delete_viewer_copies(std::string_view temporary_directory);

}  // namespace qm
