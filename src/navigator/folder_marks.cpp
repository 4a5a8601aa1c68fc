#include "navigator/folder_marks.h"

#include <cstddef>

#include "base/format.h"

namespace qm {

namespace {

std::string_view first_component(std::string_view relative) { return relative.substr(0, relative.find('/')); }

}  // namespace

int account_index_of(std::string_view relative, const std::vector<std::string>& account_names) {
    const std::string_view account = first_component(relative);
    for (std::size_t index = 0; index < account_names.size(); ++index) {
        if (account_names[index] == account) return static_cast<int>(index);
    }
    return -1;
}

std::string mark_menu_label(int mark, std::string_view path) {
    std::string label = string_printf("%2d", mark + 1);
    if (path.empty()) return label;
    label += ' ';
    for (char c : path) {
        // "&" is never the second byte of a double-byte character.
        if (c == '&') label += '&';
        label += c;
    }
    return label;
}

void rename_account_in_path(std::string& relative, std::string_view old_title, std::string_view new_title) {
    if (old_title.empty() || first_component(relative) != old_title) return;
    relative.replace(0, old_title.size(), new_title);
}

}  // namespace qm
