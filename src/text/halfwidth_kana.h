#pragma once

#include <string>
#include <string_view>

namespace qm {

// The full-width (JIS X 0208) code of a half-width katakana or sign
// (0xA1-0xDF), one character for one: 0xA1 gives 0x8142, 0xB0 0x815B, 0xB6
// 0x834A. The voiced and semi-voiced marks give the separate marks 0x814A
// and 0x814B. 0 for any other byte.
unsigned fullwidth_code_of_kana(unsigned char c);

// The same for a text file, which is rewritten; false, with the file
// untouched, when it cannot be read or rewritten.
bool file_kana_to_fullwidth(std::string_view path);

}  // namespace qm
