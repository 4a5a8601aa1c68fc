#include "config/profile.h"

#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <locale.h>

#include "config/profile_file.h"
#include "platform/text_file.h"

namespace qm {

namespace {

std::string cut(std::string text, std::size_t capacity) {
    std::size_t limit = capacity == 0 ? 0 : capacity - 1;
    if (text.size() > limit) text.resize(limit);
    return text;
}

// The value as the typed reader sees it: at most capacity - 1 characters,
// or nothing when the key is missing.
bool find_cut_value(std::string_view path, std::string_view section, std::string_view key, std::size_t capacity,
                    std::string& value) {
    if (!profile_find_value(path, section, key, value)) return false;
    value = cut(std::move(value), capacity);
    return true;
}

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool equals_nocase(std::string_view text, std::string_view upper_word) {
    if (text.size() != upper_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
        if (c != upper_word[i]) return false;
    }
    return true;
}

// atoi without its undefined overflow: a number beyond the range of int
// gives the nearest int.
int to_int(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && is_c_space(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    long long magnitude = 0;
    constexpr long long limit = static_cast<long long>(INT_MAX) + 1;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > limit) magnitude = limit;
    }
    if (negative) return static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
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

char profile_read_char(std::string_view path, std::string_view section, std::string_view key, char default_value) {
    std::string value;
    if (!find_cut_value(path, section, key, profile_char_capacity, value)) return default_value;
    return value.empty() ? '\0' : value.front();
}

bool profile_read_bool(std::string_view path, std::string_view section, std::string_view key, bool default_value) {
    std::string value;
    if (!find_cut_value(path, section, key, profile_bool_capacity, value)) return default_value;
    return (!value.empty() && value.front() == '+') || equals_nocase(value, "ON");
}

int profile_read_int(std::string_view path, std::string_view section, std::string_view key, int default_value) {
    std::string value;
    if (!find_cut_value(path, section, key, profile_int_capacity, value)) return default_value;
    return to_int(value);
}

float profile_read_real(std::string_view path, std::string_view section, std::string_view key, float default_value) {
    std::string value;
    if (!find_cut_value(path, section, key, profile_real_capacity, value)) return default_value;
    return to_single(to_double(value));
}

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

bool profile_write_int(std::string_view path, std::string_view section, std::string_view key, int value,
                       bool keep_sorted) {
    return profile_set_string(path, section, key, std::to_string(value), keep_sorted);
}

bool profile_write_real(std::string_view path, std::string_view section, std::string_view key, double value,
                        bool keep_sorted) {
    return profile_set_string(path, section, key, format_profile_real(value), keep_sorted);
}

std::string format_profile_real(double value) {
    // The largest double has 309 digits before the point.
    std::string text(DBL_MAX_10_EXP + 16, '\0');
    auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 2);
    text.resize(error == std::errc() ? static_cast<std::size_t>(end - text.data()) : 0);
    return text;
}

}  // namespace qm
