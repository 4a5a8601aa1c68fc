#pragma once

#include <string_view>

namespace qm {

// True when no byte of the text is 0x80 or above.
bool is_ascii_text(std::string_view text);

}  // namespace qm
