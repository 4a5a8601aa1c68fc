#pragma once

#include <string>
#include <string_view>

namespace qm {

// UTF-8 to CP932. Each character is decoded by the length its lead byte
// announces (overlong forms, surrogates and values above U+10FFFF are
// invalid). A character CP932 lacks becomes the full-width question mark
// 0x8148; so does every byte that is not part of a valid character, and the
// conversion goes on with the byte after it.

// In place; the text never grows. Where 0x8148 would not fit in front of the
// bytes still to be read (an invalid byte at the start, or after text that
// kept its length), an invalid byte becomes the ASCII "?" instead.
void utf8_to_sjis(std::string& text);

// The converted text as a new string.
std::string utf8_to_sjis_copy(std::string_view text);

// Whether the text holds a byte of 0x80 or above and every such byte is part
// of a valid UTF-8 character: raw 8-bit text that is most likely UTF-8 (RFC
// 6532 mail), since Shift_JIS, EUC-JP and Latin text almost never are.
bool is_8bit_utf8(std::string_view text);

}  // namespace qm
