#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A text part whose lines would pass the wire's line limit goes as
// format=flowed with delsp=yes (RFC 3676): such a line is cut into several,
// each but the last ending in a space that tells the reader to join it to
// the next one and to drop that space, so that text without spaces (Japanese
// above all) comes back exactly as it was typed.

inline constexpr std::string_view flowed_parameters = "; format=flowed; delsp=yes";

// The lines a long line is cut into hold at most this many characters.
inline constexpr std::size_t flowed_line_width = 76;

// The wire lines of one body line of a flowed part, without line ends. The
// line is 7-bit text (ASCII, or ISO-2022-JP that ends in ASCII). Spaces
// before its end are dropped (they would join it to the next line), except
// on the signature separator "-- "; a line that begins with a space, ">" or
// "From " is stuffed with one more space, which the reader removes. A line
// longer than wire_line_limit is cut between characters into lines of at
// most flowed_line_width characters, each ending in ASCII, preferably after a
// space in its second half.
std::vector<std::string> flowed_lines(std::string_view wire_line);

}  // namespace qm
