#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// RFC 2047 encoded words in header lines and RFC 2231 "filename*"
// parameters.
//
// Every byte a decoder puts into a line that is a zero byte, a carriage
// return or a line feed becomes a space: a decoded word can never cut a
// header line or forge a new one.

// No line of mail on the wire may be longer than this, its CR LF not counted.
inline constexpr std::size_t wire_line_limit = 998;

// Writes one ISO-2022-JP header line (as sjis_to_jis makes it) for the wire:
// each kanji run becomes "=?ISO-2022-JP?B?GyRC...?=" words and the line is
// folded ("\n ") so that no line passes column 76. An ASCII-only line is
// copied unchanged, unless it is longer than wire_line_limit: then a line
// is also folded before a blank where the plain word after it would pass
// column 76. False when the result would not fit into `capacity` bytes
// with a terminating zero byte, or when a plain word too long to fold leaves
// a line longer than wire_line_limit.
bool encode_header_line(std::string& output, std::size_t capacity, std::string_view jis_line);

// A word's charset may carry an RFC 2231 language after "*"
// ("=?UTF-8*ja?B?...?="); it is read as the charset alone.

// Decode the Base64 words of charset ISO-2022-JP, Shift_JIS or UTF-8 (any
// case) in place, to the charset's raw bytes; an ISO-2022-JP word that ends
// in a kanji or katakana shift gets the escape back to ASCII. A word without
// "?=" or whose text is not a multiple of four characters long stays
// encoded; an invalid group is dropped. True when such a word starts in the
// line at all.
bool decode_iso2022jp_b_words(std::string& line);
bool decode_sjis_b_words(std::string& line);
bool decode_utf8_b_words(std::string& line);

// Decodes the UTF-8 Q words in place to raw UTF-8 bytes ("_" is a space, "="
// and hexadecimal digits a byte). True when a word was decoded.
bool decode_utf8_q_words(std::string& line);

// Decodes the Q words of any charset in place. Words in ISO-2022-JP and
// Shift_JIS keep their bytes; UTF-8 and every other charset the system's
// converter knows are turned into CP932; a word in an unknown charset keeps
// its raw bytes. True when a word was decoded.
bool decode_any_q_words(std::string& line);

// Decodes the Base64 words of charsets other than ISO-2022-JP, Shift_JIS and
// UTF-8 into CP932. A word whose charset the converter does not know stays
// encoded. True when a word was decoded.
bool decode_other_charset_b_words(std::string& line);

// Joins the RFC 2231 sections of the parameter `name` ("filename", "name")
// on a header line (the single form "name*=", and numbered sections with or
// without the extended "*", in the order of their numbers) into one
// parameter `name`="..." in place of the first. Extended values are
// percent-decoded; the first section's charset turns the value into CP932
// where the converter knows it. A quote or backslash in the value is written
// with a backslash before it. A plain `name`= parameter beside the sections
// is dropped: the extended form is the one meant.
void decode_star_parameter(std::string& line, std::string_view name);

// The decoding of a line of a received message's header file: ISO-2022-JP
// words, else Shift_JIS words, else UTF-8 words (the line then converted from
// UTF-8), else words of other charsets; the line is then converted from
// ISO-2022-JP to CP932. Only one of these families is decoded per line. A
// line of raw 8-bit text that is valid UTF-8 is converted from UTF-8, and
// then every word on it is decoded.
void decode_header_line(std::string& line);

// The same for a part's Content-Type or Content-Disposition line; UTF-8
// Q words are converted word by word, and the RFC 2231 sections of "name"
// (Content-Type) or "filename" (Content-Disposition) are joined.
void decode_part_header_line(std::string& line, bool content_disposition);

}  // namespace qm
