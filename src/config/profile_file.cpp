#include "config/profile_file.h"

#include <vector>

#include <sys/stat.h>

#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/text_file.h"
#include "base/multibyte.h"

namespace qm {

namespace {

std::string_view trim_blanks(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// Keys compare without regard to ASCII case.
bool keys_match(std::string_view line_key, std::string_view wanted) {
    return mbs_equals_nocase(trim_blanks(line_key), wanted);
}

// The name a header is sorted by: the text between "[" and the first "]".
std::string_view header_sort_name(std::string_view line) {
    std::string_view rest = line.substr(1);
    std::size_t close = mbs_find_char(rest, ']');
    return close == std::string_view::npos ? rest : rest.substr(0, close);
}

bool is_value_line(std::string_view line) { return !is_section_header(line) && line.find('=') != std::string_view::npos; }

// A text that fits on one line and does not end the file early when read
// back in text mode.
bool fits_one_line(std::string_view text) {
    return text.find('\n') == std::string_view::npos && text.find(ctrl_z) == std::string_view::npos;
}

bool storable_key(std::string_view key) {
    return fits_one_line(key) && !trim_blanks(key).empty() && key.find('=') == std::string_view::npos &&
           key.front() != '[';
}

bool file_exists(std::string_view path) {
    std::string name = disk_path(path);
    struct stat status;
    return !name.empty() && ::stat(name.c_str(), &status) == 0;
}

// The file's lines (text mode, without their line feeds); a missing file
// has none. False when the file exists but cannot be read.
bool load_lines(std::string_view path, std::string& text, std::vector<std::string_view>& lines) {
    text.clear();
    lines.clear();
    if (!file_exists(path)) return true;
    if (!read_text_file(path, text)) return false;
    std::string_view rest(text);
    while (!rest.empty()) {
        std::size_t lf = rest.find('\n');
        if (lf == std::string_view::npos) {
            lines.push_back(rest);
            break;
        }
        lines.push_back(rest.substr(0, lf));
        rest.remove_prefix(lf + 1);
    }
    return true;
}

// Lines [at, at + removed) give way to `inserted` (whole lines, each ending
// with a line feed).
struct line_edit {
    std::size_t at = 0;
    std::size_t removed = 0;
    std::string inserted;
};

bool rewrite_with_edit(std::string_view path, const std::string& text, const std::vector<std::string_view>& lines,
                       const line_edit& edit) {
    // A file that is its own companion would be truncated before it is read.
    if (companion_path(path) == path) return false;
    return rewrite_through_companion(path, [&](text_writer& writer) {
        std::string output;
        output.reserve(text.size() + edit.inserted.size() + 1);
        for (std::size_t i = 0; i < edit.at; ++i) output.append(lines[i]).push_back('\n');
        output += edit.inserted;
        for (std::size_t i = edit.at + edit.removed; i < lines.size(); ++i) output.append(lines[i]).push_back('\n');
        return writer.write(output);
    });
}

std::size_t find_section(const std::vector<std::string_view>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (is_section_header(lines[i]) && section_header_name(lines[i]) == section) return i;
    }
    return lines.size();
}

std::size_t section_end(const std::vector<std::string_view>& lines, std::size_t header) {
    std::size_t i = header + 1;
    while (i < lines.size() && !is_section_header(lines[i])) ++i;
    return i;
}

std::size_t sorted_header_position(const std::vector<std::string_view>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (is_section_header(lines[i]) && mbs_compare(header_sort_name(lines[i]), section) > 0) return i;
    }
    return lines.size();
}

line_edit edit_for_value(const std::vector<std::string_view>& lines, std::string_view section, std::string_view key,
                         std::string_view value, bool keep_sorted) {
    std::string value_line = std::string(key) + "=" + std::string(value) + "\n";
    std::size_t header = find_section(lines, section);
    if (header == lines.size()) {
        std::size_t at = keep_sorted ? sorted_header_position(lines, section) : lines.size();
        std::string lines_added = "[";
        lines_added.append(section).append("]\n").append(value_line);
        return {at, 0, lines_added};
    }
    std::string_view wanted = trim_blanks(key);
    std::size_t end = section_end(lines, header);
    std::size_t after_last_value = header + 1;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (!is_value_line(lines[i])) continue;
        std::string_view line = lines[i];
        if (keys_match(line.substr(0, line.find('=')), wanted)) return {i, 1, value_line};
        after_last_value = i + 1;
    }
    return {after_last_value, 0, value_line};
}

// Looks for one key of one section, line by line, as every reader does.
class value_search {
public:
    enum class verdict { go_on, found, missing };

    value_search(std::string_view section, std::string_view key) : section_(section), wanted_(trim_blanks(key)) {}

    verdict look_at(std::string_view line) {
        if (is_section_header(line)) {
            // Only the first section of a name is read, as the writers only
            // ever change that one.
            if (inside_) return verdict::missing;
            inside_ = section_header_name(line) == section_;
            return verdict::go_on;
        }
        if (!inside_) return verdict::go_on;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !keys_match(line.substr(0, equals), wanted_)) return verdict::go_on;
        return verdict::found;
    }

    // The value of a line that look_at found.
    static void take_value(std::string_view line, std::string& value) { value.assign(line.substr(line.find('=') + 1)); }

private:
    std::string_view section_;
    std::string_view wanted_;
    bool inside_ = false;
};

}  // namespace

bool is_section_header(std::string_view line) { return !line.empty() && line.front() == '['; }

std::string_view section_header_name(std::string_view line) {
    if (!is_section_header(line)) return {};
    std::string_view rest = line.substr(1);
    std::size_t close = mbs_find_last_char(rest, ']');
    return close == std::string_view::npos ? rest : rest.substr(0, close);
}

bool profile_find_value(std::string_view path, std::string_view section, std::string_view key, std::string& value) {
    text_reader reader(path);
    if (!reader.is_open()) return false;
    value_search search(section, key);
    std::string line;
    while (reader.read_line(line)) {
        switch (search.look_at(line)) {
            case value_search::verdict::found: search.take_value(line, value); return true;
            case value_search::verdict::missing: return false;
            case value_search::verdict::go_on: break;
        }
    }
    return false;
}

bool profile_text_find_value(std::string_view text, std::string_view section, std::string_view key,
                             std::string& value) {
    value_search search(section, key);
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        switch (search.look_at(line)) {
            case value_search::verdict::found: search.take_value(line, value); return true;
            case value_search::verdict::missing: return false;
            case value_search::verdict::go_on: break;
        }
    }
    return false;
}

std::string profile_get_string(std::string_view path, std::string_view section, std::string_view key,
                               std::string_view default_value, std::size_t capacity) {
    std::string value;
    if (!profile_find_value(path, section, key, value)) value = default_value;
    std::size_t limit = capacity == 0 ? 0 : capacity - 1;
    if (value.size() > limit) value.resize(limit);
    return value;
}

bool profile_set_string(std::string_view path, std::string_view section, std::string_view key,
                        std::string_view value, bool keep_sorted) {
    if (!fits_one_line(section) || !storable_key(key) || !fits_one_line(value)) return false;
    std::string text;
    std::vector<std::string_view> lines;
    if (!load_lines(path, text, lines)) return false;
    return rewrite_with_edit(path, text, lines, edit_for_value(lines, section, key, value, keep_sorted));
}

bool profile_set_strings(std::string_view path, const std::vector<profile_default>& values, bool keep_sorted) {
    for (const profile_default& value : values) {
        if (!fits_one_line(value.section) || !storable_key(value.key) || !fits_one_line(value.value)) return false;
    }
    std::string text;
    std::vector<std::string_view> loaded;
    if (!load_lines(path, text, loaded)) return false;
    // Each value edits the lines as its own rewrite would.
    std::vector<std::string> lines(loaded.begin(), loaded.end());
    for (const profile_default& value : values) {
        std::vector<std::string_view> views(lines.begin(), lines.end());
        line_edit edit = edit_for_value(views, value.section, value.key, value.value, keep_sorted);
        std::vector<std::string> inserted;
        for (std::string_view rest = edit.inserted; !rest.empty();) {
            std::size_t lf = rest.find('\n');
            inserted.emplace_back(rest.substr(0, lf));
            rest.remove_prefix(lf + 1);
        }
        auto at = lines.begin() + static_cast<std::ptrdiff_t>(edit.at);
        at = lines.erase(at, at + static_cast<std::ptrdiff_t>(edit.removed));
        lines.insert(at, inserted.begin(), inserted.end());
    }
    std::vector<std::string_view> views(lines.begin(), lines.end());
    return rewrite_with_edit(path, text, views, {views.size(), 0, {}});
}

bool profile_remove_section(std::string_view path, std::string_view section) {
    std::string text;
    std::vector<std::string_view> lines;
    if (!load_lines(path, text, lines)) return false;
    std::size_t header = find_section(lines, section);
    if (header == lines.size()) return true;
    return rewrite_with_edit(path, text, lines, {header, section_end(lines, header) - header, {}});
}

}  // namespace qm
