#pragma once

#include <string_view>

namespace qm {

// Names that carry a decimal number: message directories (".12") and
// download files ("12.pop").

// Whether the text is a non-empty run of ASCII digits.
bool is_decimal(std::string_view text);

// Orders decimal texts by their value, however long (leading zeros do not
// count); texts of equal value by their bytes.
bool decimal_less(std::string_view a, std::string_view b);

}  // namespace qm
