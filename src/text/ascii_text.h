#pragma once

#include <string_view>

namespace qm {

// True when no byte of the text is 0x80 or above.
bool is_ascii_text(std::string_view text);

// True when no byte of the file is 0x80 or above, and also when the file
// cannot be opened (then there is nothing that would need an encoding).
bool is_ascii_file(std::string_view path);

}  // namespace qm
