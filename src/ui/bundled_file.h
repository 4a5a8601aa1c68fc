#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Files that come with the program: the help text and the manual. A build or
// a copy unpacked in one folder keeps them beside the executable; an
// installed copy keeps the programs in bin/ and these in share/quillmere/.
inline constexpr std::string_view help_file_name = "quillmere.txt";
inline constexpr std::string_view manual_file_name = "quillmere.htm";

// Where such a file is looked for, in this order (CP932 paths): beside the
// executable, then in share/quillmere/ beside the executable's folder.
std::vector<std::string> bundled_file_places(std::string_view name);

// The first of those places that holds the file.
std::optional<std::string> find_bundled_file(std::string_view name);

// The message for a file found in none of them: the string-table text
// `text_id`, then every place looked at, one a line.
std::string missing_bundled_file_text(int text_id, std::string_view name);

}  // namespace qm
