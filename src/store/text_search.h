#pragma once

#include <cstddef>
#include <string_view>

namespace qm {

// The search text the user gives is at most this many bytes.
inline constexpr std::size_t search_text_limit = 127;

// Whether the text occurs in the file, read in text mode in pieces of at
// most 1000 bytes; a match that spans two pieces is not found.
bool file_contains_text(std::string_view path, std::string_view text);

}  // namespace qm
