#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// Conversions between the program's CP932 text and UTF-8, as the system's
// iconv does them. They fail (nullopt) on a byte sequence that has no form in
// the other character set; nothing is ever replaced silently, so that a file
// name always maps back to the same bytes.
std::optional<std::string> cp932_to_utf8(std::string_view text);
std::optional<std::string> utf8_to_cp932(std::string_view text);

// The name under which a CP932 path is handed to the system (UTF-8). A path
// without a UTF-8 form gives the empty text, which every system call refuses.
std::string disk_path(std::string_view path);

// A name listed by the system, as the program sees it (CP932); nullopt when
// the name has no CP932 form.
std::optional<std::string> program_name(std::string_view disk_name);

}  // namespace qm
