#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The store's files are CP932, in which every character CP932 lacks (an
// emoji, an accented letter, Hangul) became one "？" (0x8148) when the
// message was filed. Where the text it was made from is at hand in Unicode
// (decoded again from the message as it came), these give the characters
// back, and only where the two agree: a Unicode text that does not match
// the stored one character for character is never shown in its place.

// Whether the CP932 text holds the full-width "？" as a character: the mark
// a lost character leaves (and, rarely, one the sender wrote).
bool holds_lost_character_mark(std::string_view cp932);

// The Unicode form (UTF-8) of the stored text: `unicode` when the two agree
// character for character, each "？" of `stored` standing for any one
// character, each other character for itself (in any of its Unicode
// spellings). With `cut`, `stored` may also be a beginning of that text (a
// subject cut to its capacity), and the result is then the beginning of
// `unicode` that matches it. nullopt when they do not agree.
std::optional<std::string> unicode_form(std::string_view stored, std::string_view unicode, bool cut = false);

// The Unicode form of the piece of `stored` that starts at `start` and
// takes `length` bytes (a name within a field), where `stored` agrees with
// `unicode` or with a beginning of it.
std::optional<std::string> unicode_form_of_piece(std::string_view stored, std::string_view unicode, std::size_t start,
                                                 std::size_t length);

}  // namespace qm
