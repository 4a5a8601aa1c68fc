#pragma once

#include <cstddef>
#include <string_view>

namespace qm {

// The search text the user gives is at most this many bytes.
inline constexpr std::size_t search_text_limit = 127;

}  // namespace qm
