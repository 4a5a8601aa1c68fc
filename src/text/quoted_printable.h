#pragma once

#include <string>

namespace qm {

// Decodes one line of a quoted-printable body in place. A "=" directly
// before the line feed is a soft line break: the line ends there, without
// its line feed, so that the next line continues it. "=" followed by one or
// two hexadecimal digits (either case) becomes that byte; any other "="
// stays. A decoded byte is not looked at again ("=3D41" gives "=41"), and
// zero bytes are kept. "_" is left alone.
void qp_decode_line(std::string& line);

}  // namespace qm
