#pragma once

#include <string>
#include <string_view>

namespace qm {

// File attributes as four characters: system, hidden, read-only, archive;
// "s", "h", "r", "a" when set, "-" when not ("----" is none, "--r-" the
// store's read-only mark). On Linux read-only means no write permission,
// hidden a name that begins with "."; system and archive do not exist.
inline constexpr std::string_view no_attributes = "----";
inline constexpr std::string_view read_only_mark = "--r-";

// Sets exactly the attributes whose letters appear (of those Linux has:
// read-only). Clearing read-only gives the owner write permission back.
bool set_attributes(std::string_view path, std::string_view attributes);

bool is_read_only(std::string_view path);
// Whether the last component of the path begins with ".".
bool is_hidden_name(std::string_view path);

}  // namespace qm
