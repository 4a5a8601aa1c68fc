#pragma once

#include <cstddef>
#include <string_view>

namespace qm {

// The first position at or after `from` where `pattern` occurs, ASCII
// letters compared without regard to case; npos when there is none (always
// for an empty text).
std::size_t find_nocase(std::string_view text, std::string_view pattern, std::size_t from = 0);

// Whether `text` begins with `prefix`, ASCII case ignored.
bool starts_with_nocase(std::string_view text, std::string_view prefix);

// ASCII case-insensitive equality.
bool equals_nocase(std::string_view a, std::string_view b);

}  // namespace qm
