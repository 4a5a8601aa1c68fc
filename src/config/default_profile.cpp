#include "config/default_profile.h"

#include <algorithm>

#include "platform/companion_file.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"

namespace qm {

std::string default_profile_text(const std::vector<profile_default>& values) {
    std::vector<std::string_view> sections;
    for (const profile_default& value : values) {
        if (std::find(sections.begin(), sections.end(), value.section) == sections.end())
            sections.push_back(value.section);
    }
    std::string text;
    for (std::string_view section : sections) {
        text.append("[").append(section).append("]\n");
        for (const profile_default& value : values) {
            if (value.section == section) text.append(value.key).append("=").append(value.value).append("\n");
        }
    }
    return text;
}

bool write_default_profile(std::string_view path, const std::vector<profile_default>& values) {
    if (path_exists(path)) return true;
    std::string companion = companion_path(path);
    text_writer writer;
    if (!writer.open(companion)) return false;
    bool written = writer.write(default_profile_text(values));
    written = writer.close() && written;
    if (written && rename_path(companion, path)) return true;
    delete_file(companion);
    return false;
}

}  // namespace qm
