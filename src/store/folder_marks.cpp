#include "store/folder_marks.h"

#include <cstddef>

#include "base/format.h"
#include "config/account_settings.h"
#include "config/folder_names.h"
#include "platform/file_operations.h"

namespace qm {

namespace {

bool is_mark(int mark) { return mark >= 0 && mark < layout_mark_count; }

std::string_view first_component(std::string_view relative) { return relative.substr(0, relative.find('/')); }

// The folder of `relative` that is shown: the account directory, then each
// further component while it names a folder that exists. nullopt when the
// account is not there.
std::optional<std::string> existing_folder(std::string_view relative, std::string_view mailbox_root) {
    if (account_index_of(relative, list_accounts(mailbox_root)) < 0) return std::nullopt;
    std::string shown = std::string(first_component(relative)) + "/";
    std::size_t start = shown.size();
    while (start < relative.size()) {
        std::size_t slash = relative.find('/', start);
        if (slash == std::string_view::npos) slash = relative.size();
        const std::string_view name = relative.substr(start, slash - start);
        if (!is_listed_folder_name(name)) break;
        std::string deeper = shown + std::string(name) + "/";
        if (!directory_exists(std::string(mailbox_root) + deeper)) break;
        shown = std::move(deeper);
        start = slash + 1;
    }
    return shown;
}

}  // namespace

void mark_current_folder(Layout& layout, int mark, std::string_view current_relative) {
    if (!is_mark(mark)) return;
    layout.marks[static_cast<std::size_t>(mark)] = current_relative;
    layout.previous = current_relative;
}

std::optional<std::string> go_to_mark(Layout& layout, int mark, std::string_view current_relative,
                                      std::string_view mailbox_root) {
    if (!is_mark(mark)) return std::nullopt;
    const std::string& target = layout.marks[static_cast<std::size_t>(mark)];
    if (target.empty()) return std::nullopt;
    const bool back = target == current_relative;
    std::optional<std::string> shown = existing_folder(back ? layout.previous : target, mailbox_root);
    if (shown && !back) layout.previous = current_relative;
    return shown;
}

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

void rename_account_in_layout(Layout& layout, std::string_view old_title, std::string_view new_title) {
    rename_account_in_path(layout.current, old_title, new_title);
    for (std::string& mark : layout.marks) rename_account_in_path(mark, old_title, new_title);
    rename_account_in_path(layout.previous, old_title, new_title);
}

}  // namespace qm
