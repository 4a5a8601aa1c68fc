#pragma once

#include <string>
#include <string_view>

namespace qm {

// The text of a header field as it came (unfolded, without its line end) in
// UTF-8, with every character as sent: RFC 2047 encoded words decoded in
// their charsets (the blanks between two adjacent words dropped; a word in a
// charset nobody knows stays as it is), and the rest read as UTF-8 when its
// 8-bit bytes are valid UTF-8, else as ISO-2022-JP and CP932. A zero byte,
// CR, LF or Ctrl-Z that a word decodes to becomes a blank, as in the stored
// header, so that a decoded value never makes a new line.
std::string header_text_utf8(std::string_view raw);

}  // namespace qm
