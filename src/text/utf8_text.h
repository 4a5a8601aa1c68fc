#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// UTF-8 as the program shows it: characters measured, bad bytes made
// visible, control characters escaped, characters named.

// The length of the well-formed UTF-8 character at `pos` (no overlong form,
// no surrogate, nothing above U+10FFFF); 0 when the bytes there are not one.
std::size_t utf8_length(std::string_view text, std::size_t pos);

// A step through UTF-8: a whole character, or one byte that begins none.
std::size_t utf8_step(std::string_view text, std::size_t pos);

// Whether every byte of the text belongs to a well-formed character.
bool is_valid_utf8(std::string_view text);

// The code point of the well-formed character at `pos`; U+FFFD for a byte
// that begins none.
char32_t utf8_code_point(std::string_view text, std::size_t pos);

// The text with every byte that is not part of a well-formed character
// replaced by U+FFFD, one for each byte, as the conversion to CP932 gives
// one "？" for each.
std::string sanitized_utf8(std::string_view bytes);

// The longest beginning of the text of at most `limit` bytes that does not
// cut a character.
std::string_view utf8_prefix(std::string_view text, std::size_t limit);

// Control characters made visible: C0 controls and DEL in caret notation
// ("^[" for ESC, "^?" for DEL), the C1 controls as U+FFFD. Line feeds, and
// TABs where `keep_tabs`, stay, so that a text keeps its lines; a terminal
// or a widget shown the result can never be told to do anything.
std::string with_visible_controls(std::string_view utf8, bool keep_tabs = true);

// "U+1F389": how a message that cannot hold a character names it.
std::string code_point_name(char32_t code_point);

}  // namespace qm
