#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// The arithmetic mapping between a Shift_JIS double-byte code and its JIS
// X 0208 code. Shift_JIS codes are defined for lead bytes 0x81-0x9F and
// 0xE0-0xEF with trail bytes 0x40-0x7E and 0x80-0xFC; JIS codes for two bytes
// of 0x21-0x7E. Anything else gives 0.
unsigned sjis_code_to_jis(unsigned code);
unsigned jis_code_to_sjis(unsigned code);

// The full-width question mark that stands for what cannot be converted.
inline constexpr unsigned jis_replacement = 0x2129;
inline constexpr unsigned sjis_replacement = 0x8148;

// Shift_JIS (CP932) text to ISO-2022-JP as outgoing mail carries it: kanji
// after ESC "$B", half-width katakana after ESC "(I", and ESC "(B" before
// every byte below 0x80 that follows them and at the end, so every line ends
// in ASCII. `capacity` counts a terminating zero byte, as the fixed line
// buffers of the writers do: the result satisfies output.size() + 1 <=
// capacity, else false (and the output is incomplete).
bool sjis_to_jis(std::string& output, std::size_t capacity, std::string_view input);

// ISO-2022-JP to Shift_JIS in place, over the whole string (NUL bytes
// included); the text never grows. Unknown escape sequences stay in the
// text, a code without a Shift_JIS form becomes 0x8148.
void jis_to_sjis(std::string& text);

}  // namespace qm
