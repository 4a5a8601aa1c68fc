#include "config/layout.h"

#include <vector>

#include "base/multibyte.h"
#include "config/default_profile.h"
#include "config/profile.h"
#include "config/profile_file.h"
#include "platform/program_context.h"
#include "platform/string_table.h"
#include "platform/text_file.h"

namespace qm {

namespace {

enum class form { number, column, ratio, flag, folder, mark };

// One key of "layout.ini" and the value of the record it keeps.
struct layout_key {
    std::string_view section;
    std::string_view key;
    form kind;
    int Layout::*number = nullptr;
    float Layout::*ratio = nullptr;
    bool Layout::*flag = nullptr;
    std::string Layout::*folder = nullptr;
    int index = 0;  // of a column width or a mark
};

constexpr std::string_view value_section = "value";
constexpr std::string_view switch_section = "switch";
constexpr std::string_view directory_section = "directory";

// Folder paths hold at most 255 characters.
constexpr std::size_t folder_path_capacity = 256;

constexpr layout_key number_key(std::string_view key, int Layout::*member) {
    return {.section = value_section, .key = key, .kind = form::number, .number = member};
}
constexpr layout_key column_key(std::string_view key, int column) {
    return {.section = value_section, .key = key, .kind = form::column, .index = column};
}
constexpr layout_key ratio_key(std::string_view key, float Layout::*member) {
    return {.section = value_section, .key = key, .kind = form::ratio, .ratio = member};
}
constexpr layout_key flag_key(std::string_view key, bool Layout::*member) {
    return {.section = switch_section, .key = key, .kind = form::flag, .flag = member};
}
constexpr layout_key mark_key(std::string_view key, int mark) {
    return {.section = directory_section, .key = key, .kind = form::mark, .index = mark};
}

// Every key, in the order of the file.
const layout_key layout_keys[] = {
    number_key("position x", &Layout::position_x),
    number_key("position y", &Layout::position_y),
    number_key("size x", &Layout::size_x),
    number_key("size y", &Layout::size_y),
    column_key("width attribute", 0),
    column_key("width date", 1),
    column_key("width sender", 2),
    column_key("width subject", 3),
    column_key("width size", 4),
    column_key("width thread", 5),
    number_key("sort column", &Layout::sort_column),
    ratio_key("width tree", &Layout::tree_ratio),
    ratio_key("height preview", &Layout::preview_ratio),
    flag_key("maximize", &Layout::maximized),
    flag_key("sort direction", &Layout::sort_descending),
    {.section = directory_section, .key = "current", .kind = form::folder, .folder = &Layout::current},
    mark_key("mark1", 0),
    mark_key("mark2", 1),
    mark_key("mark3", 2),
    mark_key("mark4", 3),
    mark_key("mark5", 4),
    mark_key("mark6", 5),
    mark_key("mark7", 6),
    mark_key("mark8", 7),
    mark_key("mark9", 8),
    mark_key("mark10", 9),
    mark_key("mark11", 10),
    mark_key("mark12", 11),
};

Layout default_layout() {
    Layout defaults;
    defaults.current = load_string(str::default_account) + "/";
    return defaults;
}

// A folder path as the program uses it: "/" separators, and a final "/" on
// a path that names a folder.
std::string folder_path(std::string text) {
    text = backslashes_to_slashes(text);
    if (!text.empty() && text.back() != '/') text += '/';
    return text;
}

float ratio_or_default(float ratio, float default_ratio) {
    return ratio >= 0.0f && ratio < 1.0f ? ratio : default_ratio;
}

std::string& folder_of(const layout_key& entry, Layout& layout) {
    return entry.kind == form::mark ? layout.marks[static_cast<std::size_t>(entry.index)] : layout.*entry.folder;
}
const std::string& folder_of(const layout_key& entry, const Layout& layout) {
    return entry.kind == form::mark ? layout.marks[static_cast<std::size_t>(entry.index)] : layout.*entry.folder;
}

void load_key(const layout_key& entry, const profile_snapshot& file, const Layout& defaults, Layout& layout) {
    switch (entry.kind) {
    case form::number:
        layout.*entry.number = file.read_int(entry.section, entry.key, defaults.*entry.number);
        break;
    case form::column:
        layout.column_width[entry.index] = file.read_int(entry.section, entry.key, defaults.column_width[entry.index]);
        break;
    case form::ratio:
        layout.*entry.ratio = ratio_or_default(file.read_real(entry.section, entry.key, defaults.*entry.ratio),
                                               defaults.*entry.ratio);
        break;
    case form::flag: layout.*entry.flag = file.read_bool(entry.section, entry.key, defaults.*entry.flag); break;
    case form::folder:
    case form::mark: {
        const std::string& fallback = folder_of(entry, defaults);
        folder_of(entry, layout) =
            folder_path(file.read_string(entry.section, entry.key, fallback, folder_path_capacity));
        break;
    }
    }
}

std::string stored_text(const layout_key& entry, const Layout& layout) {
    switch (entry.kind) {
    case form::number: return std::to_string(layout.*entry.number);
    case form::column: return std::to_string(layout.column_width[entry.index]);
    case form::ratio: return format_profile_real(layout.*entry.ratio);
    case form::flag: return layout.*entry.flag ? "+" : "-";
    case form::folder:
    case form::mark: {
        // A folder whose name holds a line break (made outside the program)
        // cannot be stored: it is forgotten rather than failing the layout.
        const std::string& folder = folder_of(entry, layout);
        return holds_line_break(folder) ? std::string() : folder;
    }
    }
    return {};
}

std::vector<profile_default> layout_values(const Layout& layout) {
    std::vector<profile_default> values;
    for (const layout_key& entry : layout_keys) values.push_back({entry.section, entry.key, stored_text(entry, layout)});
    return values;
}

}  // namespace

bool column_width_is_users(const Layout& layout, int column) {
    if (column < 0 || column >= layout_column_count) return false;
    const int width = layout.column_width[column];
    return width > 0 && width != Layout{}.column_width[column];
}

std::string layout_path() { return context().program_directory + "layout.ini"; }

bool write_default_layout() { return write_default_profile(layout_path(), layout_values(default_layout())); }

void load_layout(Layout& layout) {
    const Layout defaults = default_layout();
    const profile_snapshot file(layout_path());
    for (const layout_key& entry : layout_keys) load_key(entry, file, defaults, layout);
    layout.previous = layout.current;
}

bool save_layout(const Layout& layout) { return profile_set_strings(layout_path(), layout_values(layout), false); }

}  // namespace qm
