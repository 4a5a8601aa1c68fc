#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ui/help_window.h"

namespace qm {

// The lines of a section of the help text, read in text mode as the program
// reads its files (CP932, CR LF becomes LF, a Ctrl-Z ends the file): from
// line `first_line` (counted from 1) for `line_count` lines, each with its
// line feed. A file that ends early gives what it has. The whole section is
// kept, however long. nullopt when the file cannot be read.
std::optional<std::string> help_section_text(std::string_view path, help_section section);

}  // namespace qm
