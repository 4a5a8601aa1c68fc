#pragma once

#include <string>
#include <string_view>

namespace qm {

// Decodes one line of a quoted-printable body in place. A "=" directly
// before the line feed is a soft line break: the line ends there, without
// its line feed, so that the next line continues it. "=" followed by one or
// two hexadecimal digits (either case) becomes that byte; any other "="
// stays. A decoded byte is not looked at again ("=3D41" gives "=41"), and
// zero bytes are kept. "_" is left alone.
void qp_decode_line(std::string& line);

// Decodes a whole quoted-printable body (lines ending with "\n"). A soft line
// break joins a line with the next before it is decoded, so that an escape
// or a shift state that spans the break is read whole; a "=" at the very end
// of the text is a soft break too. Every other line end is a hard line break
// and becomes `line_break`; a line feed the text encodes ("=0A") stays a
// line feed.
std::string qp_decode_text(std::string_view text, std::string_view line_break = "\n");

}  // namespace qm
