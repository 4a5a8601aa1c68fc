#pragma once

#include <string>
#include <string_view>

namespace qm {

// How the text of a body in a MIME charset becomes CP932.
enum class body_charset {
    iso2022jp,  // ISO-2022-JP, and US-ASCII which it contains: jis_to_sjis
    utf8,       // UTF-8
    sjis,       // Shift_JIS under any of its labels: already CP932
    other,      // any other charset the converter knows
    unknown,    // a charset nobody here knows: the bytes stay as received
};

body_charset classify_charset(std::string_view charset);

// The whole text in CP932. ISO-2022-JP is read as one stream (a shift state
// carries over line ends); an unknown charset gives the bytes back.
std::string body_to_cp932(body_charset kind, std::string_view charset, std::string_view bytes);

// ISO-2022-JP to CP932 line by line: every line starts in ASCII.
std::string jis_lines_to_sjis(std::string_view text);

}  // namespace qm
