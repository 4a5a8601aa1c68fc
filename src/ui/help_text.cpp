#include "ui/help_text.h"

#include "platform/text_file.h"

namespace qm {

std::optional<std::string> help_section_text(std::string_view path, help_section section) {
    text_reader reader;
    if (!reader.open(path)) return std::nullopt;
    const int end_line = section.first_line + section.line_count;
    std::string text;
    std::string line;
    for (int number = 1; number < end_line && reader.read_line(line); ++number) {
        if (number >= section.first_line) text += line + '\n';
    }
    if (reader.failed()) return std::nullopt;
    return text;
}

}  // namespace qm
