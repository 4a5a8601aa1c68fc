#include "config/layout.h"

#include <vector>

#include "config/default_profile.h"
#include "config/profile.h"
#include "config/profile_file.h"
#include "platform/program_context.h"
#include "platform/string_table.h"
#include "text/multibyte.h"

namespace qm {

namespace {

constexpr std::string_view value_section = "value";
constexpr std::string_view switch_section = "switch";
constexpr std::string_view directory_section = "directory";

constexpr std::string_view column_keys[layout_column_count] = {"width attribute", "width date", "width sender",
                                                               "width subject",   "width size", "width thread"};
constexpr std::string_view mark_keys[layout_mark_count] = {"mark1", "mark2", "mark3",  "mark4",  "mark5",  "mark6",
                                                           "mark7", "mark8", "mark9", "mark10", "mark11", "mark12"};

// Folder paths hold at most 255 characters.
constexpr std::size_t folder_path_capacity = 256;

std::string default_current_folder() { return load_string(str::default_account) + "/"; }

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

// The ordered key list shared by the default file and the saver.
std::vector<profile_default> layout_values(const Layout& layout) {
    std::vector<profile_default> values = {
        {value_section, "position x", std::to_string(layout.position_x)},
        {value_section, "position y", std::to_string(layout.position_y)},
        {value_section, "size x", std::to_string(layout.size_x)},
        {value_section, "size y", std::to_string(layout.size_y)},
    };
    for (int column = 0; column < layout_column_count; ++column)
        values.push_back({value_section, column_keys[column], std::to_string(layout.column_width[column])});
    values.push_back({value_section, "sort column", std::to_string(layout.sort_column)});
    values.push_back({value_section, "width tree", format_profile_real(layout.tree_ratio)});
    values.push_back({value_section, "height preview", format_profile_real(layout.preview_ratio)});
    values.push_back({switch_section, "maximize", layout.maximized ? "+" : "-"});
    values.push_back({switch_section, "sort direction", layout.sort_descending ? "+" : "-"});
    values.push_back({directory_section, "current", layout.current});
    for (int mark = 0; mark < layout_mark_count; ++mark)
        values.push_back({directory_section, mark_keys[mark], layout.marks[mark]});
    return values;
}

}  // namespace

std::string layout_path() { return context().program_directory + "layout.ini"; }

bool WriteDefaultLayout() {
    Layout defaults;
    defaults.current = default_current_folder();
    return write_default_profile(layout_path(), layout_values(defaults));
}

void LoadLayout(Layout& layout) {
    const Layout defaults;
    std::string path = layout_path();
    layout.position_x = profile_read_int(path, value_section, "position x", defaults.position_x);
    layout.position_y = profile_read_int(path, value_section, "position y", defaults.position_y);
    layout.size_x = profile_read_int(path, value_section, "size x", defaults.size_x);
    layout.size_y = profile_read_int(path, value_section, "size y", defaults.size_y);
    for (int column = 0; column < layout_column_count; ++column)
        layout.column_width[column] =
            profile_read_int(path, value_section, column_keys[column], defaults.column_width[column]);
    layout.sort_column = profile_read_int(path, value_section, "sort column", defaults.sort_column);
    layout.tree_ratio = ratio_or_default(profile_read_real(path, value_section, "width tree", defaults.tree_ratio),
                                         defaults.tree_ratio);
    layout.preview_ratio = ratio_or_default(
        profile_read_real(path, value_section, "height preview", defaults.preview_ratio), defaults.preview_ratio);
    layout.maximized = profile_read_bool(path, switch_section, "maximize", defaults.maximized);
    layout.sort_descending = profile_read_bool(path, switch_section, "sort direction", defaults.sort_descending);
    layout.current = folder_path(
        profile_read_string(path, directory_section, "current", default_current_folder(), folder_path_capacity));
    for (int mark = 0; mark < layout_mark_count; ++mark)
        layout.marks[mark] =
            folder_path(profile_read_string(path, directory_section, mark_keys[mark], "", folder_path_capacity));
    layout.previous = layout.current;
}

bool SaveLayout(const Layout& layout) { return profile_set_strings(layout_path(), layout_values(layout), false); }

std::string layout_account_root(std::string_view mailbox, std::string_view current) {
    std::size_t slash = current.find('/');
    return std::string(mailbox) + std::string(current.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
}

}  // namespace qm
