#pragma once

#include <climits>
#include <string_view>

namespace qm {

// The number a text begins with, as atoi reads it: leading blanks, an
// optional sign, then decimal digits (0 when there are none). A number
// outside [lowest, highest] gives the nearer bound instead of overflowing.
long long leading_number(std::string_view text, long long lowest, long long highest);

inline int leading_int(std::string_view text) { return static_cast<int>(leading_number(text, INT_MIN, INT_MAX)); }

}  // namespace qm
