#include "config/option_checks.h"

#include <algorithm>

#include "base/multibyte.h"
#include "config/folder_names.h"
#include "config/settings.h"
#include "platform/string_table.h"

namespace qm {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// None of these can be the second byte of a double-byte character except
// "\" and "|", which are looked for as characters.
constexpr std::string_view forbidden_extension_chars = "\"*./:<>?\\|";

// The name the file is saved under: the last path component, without the
// dots and blanks at its end (neither can be the second byte of a
// double-byte character).
std::string_view saved_name(std::string_view file_name) {
    const std::size_t slash = file_name.rfind('/');
    std::string_view name = file_name.substr(slash == npos ? 0 : slash + 1);
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    return name;
}

list_addition added_at(std::vector<std::string>& entries, std::vector<std::string>::iterator place,
                       std::string_view entry) {
    const auto index = static_cast<std::size_t>(place - entries.begin());
    entries.insert(place, std::string(entry));
    return {0, index};
}

bool is_listed(const std::vector<std::string>& entries, std::string_view entry) {
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

}  // namespace

bool has_dangerous_extension(std::string_view file_name, std::string_view extensions) {
    const std::string_view name = saved_name(file_name);
    const std::size_t dot = name.rfind('.');
    if (dot == npos) return false;
    const std::string_view extension = name.substr(dot + 1);
    for (std::size_t start = extensions.find('.'); start != npos;) {
        const std::size_t next = extensions.find('.', start + 1);
        const std::string_view listed = extensions.substr(start + 1, next == npos ? npos : next - start - 1);
        if (mbs_equals_nocase(listed, extension)) return true;
        start = next;
    }
    return false;
}

int check_attachment_name(std::string_view name, std::string_view extensions) {
    if (name.empty()) return str::name_missing;
    if (!is_valid_folder_name(name)) return str::folder_name_rules;
    return has_dangerous_extension(name, extensions) ? str::dangerous_attachment : 0;
}

int check_extension(std::string_view extension) {
    if (extension.empty()) return str::name_missing;
    if (mbs_holds_any_of(extension, forbidden_extension_chars) || holds_control_char(extension)) {
        return str::extension_rules;
    }
    return 0;
}

std::vector<std::string> split_open_header_list(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        names.emplace_back(text.substr(0, comma));
        if (comma == npos) break;
        text.remove_prefix(comma + 1);
    }
    // The dialog shows and saves the list in order.
    std::sort(names.begin(), names.end());
    return names;
}

std::string join_open_header_list(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += ',';
        text += names[i];
    }
    return text;
}

std::vector<std::string> split_extension_list(std::string_view text) {
    std::vector<std::string> extensions;
    while (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        const std::size_t dot = text.find('.');
        if (dot != 0 && !text.empty()) extensions.emplace_back(text.substr(0, dot));
        text = dot == npos ? std::string_view() : text.substr(dot);
    }
    return extensions;
}

std::string join_extension_list(const std::vector<std::string>& extensions) {
    std::string text;
    for (const std::string& extension : extensions) {
        if (!extension.empty()) text += "." + extension;
    }
    return text;
}

list_addition add_open_header(std::vector<std::string>& names, std::string_view name) {
    if (name.find(',') != npos) return {str::open_header_comma, 0};
    if (is_listed(names, name)) return {str::name_exists, 0};
    return added_at(names, std::upper_bound(names.begin(), names.end(), name), name);
}

list_addition add_extension(std::vector<std::string>& extensions, std::string_view extension) {
    if (const int message = check_extension(extension)) return {message, 0};
    if (is_listed(extensions, extension)) return {str::name_exists, 0};
    return added_at(extensions, extensions.end(), extension);
}

std::optional<std::size_t> remove_list_entry(std::vector<std::string>& entries, std::size_t index) {
    if (index < entries.size()) entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    if (entries.empty()) return std::nullopt;
    return std::min(index, entries.size() - 1);
}

int check_key_letters(std::string_view letters) {
    const bool capitals_only =
        std::all_of(letters.begin(), letters.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    return letters.size() == static_cast<std::size_t>(key_letter_count) && capitals_only ? 0
                                                                                         : str::key_letters_rules;
}

}  // namespace qm
