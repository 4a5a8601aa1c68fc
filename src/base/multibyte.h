#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// Shift_JIS (CP932) classification: a lead byte starts a two-byte character.
inline bool is_lead_byte(unsigned char c) { return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc); }
inline bool is_lead_byte(char c) { return is_lead_byte(static_cast<unsigned char>(c)); }

// Half-width katakana and signs, one byte each.
inline bool is_halfwidth_kana(unsigned char c) { return c >= 0xa1 && c <= 0xdf; }

// Length of the character at `pos`: 2 for a lead byte followed by a byte,
// else 1.
inline std::size_t char_length(std::string_view text, std::size_t pos) {
    return is_lead_byte(text[pos]) && pos + 1 < text.size() ? 2 : 1;
}

// Substring search that only matches at character boundaries, so that the
// second byte of a double-byte character is never taken for the start of a
// match. npos when not found; an empty pattern matches at `from`.
std::size_t mbs_find(std::string_view text, std::string_view pattern, std::size_t from = 0);

// First and last position of a single-byte character outside double-byte
// characters; npos when not found.
std::size_t mbs_find_char(std::string_view text, char c, std::size_t from = 0);
std::size_t mbs_find_last_char(std::string_view text, char c);

// Whether one of the single-byte characters `chars` occurs outside
// double-byte characters.
bool mbs_holds_any_of(std::string_view text, std::string_view chars);

// Whether the text holds a control character (below 0x20, or DEL): none can
// be the second byte of a double-byte character, and each would break a line
// of a settings or list file.
bool holds_control_char(std::string_view text);

// Compares character by character: a double-byte character counts as its
// 16-bit code, a single byte as its value; a prefix sorts first. <0, 0, >0.
int mbs_compare(std::string_view a, std::string_view b);

// Equality with ASCII letters compared without regard to case; the bytes of
// a double-byte character compare exactly, so that a trail byte in 'a'..'z'
// is never taken for a letter.
bool mbs_equals_nocase(std::string_view a, std::string_view b);

// Turns every "\" that is not the second byte of a double-byte character
// into "/".
std::string backslashes_to_slashes(std::string_view text);

}  // namespace qm
