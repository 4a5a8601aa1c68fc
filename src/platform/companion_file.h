#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/text_file.h"

namespace qm {

// The companion of a file that is being rewritten: its last path component
// cut after its first "." and followed by "$$$" ("arrange.lst" gives
// "arrange.$$$"); ".$$$" appended when that component has no ".".
std::string companion_path(std::string_view path);

// Rewrites `path` in text mode through its companion: `fill` writes the new
// contents into the companion, which then takes the file's place in one
// step. When `fill` or a write fails, the companion is removed and the file
// stays exactly as it was.
bool rewrite_through_companion(std::string_view path, const std::function<bool(text_writer&)>& fill);

// Gives the finished companion the file's name, replacing the file.
bool replace_with_companion(std::string_view path, std::string_view companion);

}  // namespace qm
