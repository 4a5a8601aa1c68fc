#include "config/profile.h"

#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include <locale.h>

#include "config/profile_file.h"
#include "base/find_nocase.h"
#include "base/number_text.h"
#include "platform/text_file.h"

namespace qm {

namespace {

std::string cut(std::string text, std::size_t capacity) {
    std::size_t limit = capacity == 0 ? 0 : capacity - 1;
    if (text.size() > limit) text.resize(limit);
    return text;
}

// atof in the C locale: the GUI toolkit sets the user's locale, whose
// decimal separator may be a comma, but stored reals always use ".".
double to_double(const std::string& text) {
    static const locale_t c_locale = ::newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    if (c_locale == static_cast<locale_t>(0)) return std::strtod(text.c_str(), nullptr);
    return ::strtod_l(text.c_str(), nullptr, c_locale);
}

float to_single(double value) {
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX)
        return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

char char_value(std::string_view value) { return value.empty() ? '\0' : value.front(); }

bool bool_value(std::string_view value) { return (!value.empty() && value.front() == '+') || equals_nocase(value, "ON"); }

float real_value(std::string_view value) { return to_single(to_double(std::string(value))); }

// A stored value in its type, or the caller's default when it is missing.
template <typename T, typename Convert>
T converted(const std::optional<std::string>& value, Convert convert, T fallback) {
    return value ? static_cast<T>(convert(*value)) : fallback;
}

}  // namespace

int profile_count_sections(std::string_view path) {
    text_reader reader(path);
    if (!reader.is_open()) return -1;
    int count = 0;
    std::string line;
    while (reader.read_line(line)) {
        if (is_section_header(line) && count < INT_MAX) ++count;
    }
    return reader.failed() ? -1 : count;
}

bool profile_section_exists(std::string_view path, std::string_view name) {
    text_reader reader(path);
    std::string line;
    while (reader.is_open() && reader.read_line(line)) {
        if (is_section_header(line) && section_header_name(line) == name) return true;
    }
    return false;
}

bool profile_section_name(std::string_view path, int index, std::string& name, std::size_t capacity) {
    if (index < 0) return false;
    text_reader reader(path);
    std::string line;
    int seen = 0;
    while (reader.is_open() && reader.read_line(line)) {
        if (!is_section_header(line)) continue;
        if (seen++ == index) {
            name = cut(std::string(section_header_name(line)), capacity);
            return true;
        }
    }
    return false;
}

bool profile_delete_section(std::string_view path, std::string_view name) { return profile_remove_section(path, name); }

std::string profile_read_string(std::string_view path, std::string_view section, std::string_view key,
                                std::string_view default_value, std::size_t capacity) {
    return profile_get_string(path, section, key, default_value, capacity);
}

// The typed readers take the file whole: settings, account and status
// files are a few hundred bytes.
char profile_read_char(std::string_view path, std::string_view section, std::string_view key, char default_value) {
    return profile_snapshot(path).read_char(section, key, default_value);
}

bool profile_read_bool(std::string_view path, std::string_view section, std::string_view key, bool default_value) {
    return profile_snapshot(path).read_bool(section, key, default_value);
}

int profile_read_int(std::string_view path, std::string_view section, std::string_view key, int default_value) {
    return profile_snapshot(path).read_int(section, key, default_value);
}

profile_snapshot::profile_snapshot(std::string_view path) {
    if (!read_text_file(path, text_)) text_.clear();
}

std::optional<std::string> profile_snapshot::find(std::string_view section, std::string_view key,
                                                  std::size_t capacity) const {
    std::string value;
    if (!profile_text_find_value(text_, section, key, value)) return std::nullopt;
    return cut(std::move(value), capacity);
}

std::string profile_snapshot::read_string(std::string_view section, std::string_view key,
                                          std::string_view default_value, std::size_t capacity) const {
    return find(section, key, capacity).value_or(cut(std::string(default_value), capacity));
}

// clang-format off
char profile_snapshot::read_char(std::string_view section, std::string_view key, char fallback) const { return converted(find(section, key, profile_char_capacity), char_value, fallback); }
bool profile_snapshot::read_bool(std::string_view section, std::string_view key, bool fallback) const { return converted(find(section, key, profile_bool_capacity), bool_value, fallback); }
int profile_snapshot::read_int(std::string_view section, std::string_view key, int fallback) const { return converted(find(section, key, profile_int_capacity), leading_int, fallback); }
float profile_snapshot::read_real(std::string_view section, std::string_view key, float fallback) const { return converted(find(section, key, profile_real_capacity), real_value, fallback); }
// clang-format on

bool profile_write_string(std::string_view path, std::string_view section, std::string_view key,
                          std::string_view value, bool keep_sorted) {
    return profile_set_string(path, section, key, value, keep_sorted);
}

bool profile_write_char(std::string_view path, std::string_view section, std::string_view key, char value,
                        bool keep_sorted) {
    // The character 0 is stored as an empty value, which reads back as 0.
    std::string_view text = value == '\0' ? std::string_view() : std::string_view(&value, 1);
    return profile_set_string(path, section, key, text, keep_sorted);
}

bool profile_write_bool(std::string_view path, std::string_view section, std::string_view key, bool value,
                        bool keep_sorted) {
    return profile_set_string(path, section, key, value ? "+" : "-", keep_sorted);
}

std::string format_profile_real(double value) {
    // The largest double has 309 digits before the point.
    std::string text(DBL_MAX_10_EXP + 16, '\0');
    auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 2);
    text.resize(error == std::errc() ? static_cast<std::size_t>(end - text.data()) : 0);
    return text;
}

}  // namespace qm
