#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Text crossing between the program (CP932) and the window's widgets
// (UTF-8), always through the system's converter of platform/cp932.h: other
// converters spell some characters differently (〜 typed as U+301C must
// become 0x8160, not 0xFCFC), and a mailbox must stay readable by the
// Windows form of the program.

// CP932 text for showing. A character without a UTF-8 form becomes U+FFFD
// and the rest of the text stays: a two-byte character counts as one, but a
// lead byte followed by an ASCII byte (a line feed, a letter) is bad on its
// own, so the ASCII character is kept; so is anything after a lone lead byte
// at the end.
std::string display_utf8(std::string_view cp932);

// What became of typed text on its way into the program.
struct typed_text {
    bool ok = false;
    std::string text;  // CP932, when ok
    // Else the first character without a CP932 form (UTF-8; U+FFFD for
    // bytes that are not UTF-8), and where it stands in the typed text.
    std::string refused;
    std::size_t refused_at = 0;
    // Every different character that was refused, in the order they first
    // stand, the first ones up to refused_names_limit.
    std::vector<std::string> refused_characters;
};
inline constexpr std::size_t refused_names_limit = 12;

// Typed text (UTF-8) as CP932. Text with a character that CP932 cannot hold
// is refused as a whole, never replaced: the user is told which character it
// is (refusal_notice). The different Unicode spellings of one CP932
// character (U+301C and U+FF5E for 0x8160, U+2016 and U+2225 for 0x8161 ...)
// are taken alike.
typed_text typed_to_cp932(std::string_view utf8);

// The notice for refused text, as UTF-8 for the message box: the rule text of
// the string table and the characters themselves, which have no CP932 form,
// each with its code point ("🎉 (U+1F389)").
std::string refusal_notice(const typed_text& typed);

// Edit fields are limited in CP932 bytes (127 for a name, 255 for a path).
// The length in bytes of the longest beginning of the typed text whose CP932
// form takes at most `limit` bytes, never cutting a character. A character
// without a CP932 form counts as two bytes (the text is refused anyway when
// it is taken), a byte that is not UTF-8 as one.
std::size_t fitting_prefix(std::string_view utf8, std::size_t limit);
bool fits_field(std::string_view utf8, std::size_t limit);

}  // namespace qm
