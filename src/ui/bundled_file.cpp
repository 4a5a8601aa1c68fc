#include "ui/bundled_file.h"

#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "platform/string_table.h"

namespace qm {

namespace {

// "/usr/local/bin/" gives "/usr/local/": the folder the executable's folder lies in.
std::string parent_directory(const std::string& directory) {
    std::string parent = directory;
    while (!parent.empty() && parent.back() == '/') parent.pop_back();
    parent.erase(parent.find_last_of('/') + 1);
    return parent.empty() ? std::string("/") : parent;
}

}  // namespace

std::vector<std::string> bundled_file_places(std::string_view name) {
    const std::string& beside = context().executable_directory;
    return {beside + std::string(name), parent_directory(beside) + "share/quillmere/" + std::string(name)};
}

std::optional<std::string> find_bundled_file(std::string_view name) {
    for (std::string& place : bundled_file_places(name)) {
        if (path_exists(place) && !directory_exists(place)) return place;
    }
    return std::nullopt;
}

std::string missing_bundled_file_text(int text_id, std::string_view name) {
    std::string text = load_string(text_id);
    for (const std::string& place : bundled_file_places(name)) text += "\n" + place;
    return text;
}

}  // namespace qm
