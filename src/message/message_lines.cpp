#include "message/message_lines.h"

#include <algorithm>

#include "platform/companion_file.h"
#include "platform/file_handle.h"
#include "base/find_nocase.h"
#include "base/multibyte.h"

namespace qm {

std::string cut_to_capacity(std::string_view text, std::size_t capacity) {
    std::size_t limit = capacity == 0 ? 0 : capacity - 1;
    if (text.size() <= limit) return std::string(text);
    std::size_t end = 0;
    while (end < limit) {
        std::size_t length = char_length(text, end);
        if (end + length > limit) break;
        end += length;
    }
    return std::string(text.substr(0, end));
}

bool read_message_text(std::string_view path, std::string& text) {
    std::string bytes;
    if (!read_binary_file(path, bytes)) return false;
    text = message_text_of(bytes);
    return true;
}

std::string message_text_of(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t copied = 0;
    for (std::size_t cr = bytes.find("\r\n"); cr != std::string_view::npos; cr = bytes.find("\r\n", cr + 2)) {
        text.append(bytes, copied, cr - copied);
        copied = cr + 1;
    }
    text.append(bytes, copied);
    return text;
}

void to_message_text(std::string& bytes) {
    std::size_t kept = 0;
    for (std::size_t pos = 0; pos < bytes.size(); ++pos) {
        if (bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n') continue;
        bytes[kept++] = bytes[pos];
    }
    bytes.resize(kept);
}

std::size_t skip_chars(std::string_view text, std::size_t pos, std::string_view chars) {
    while (pos < text.size() && chars.find(text[pos]) != std::string_view::npos) ++pos;
    return pos;
}

std::optional<std::vector<std::string>> read_part_header(std::string_view part_path) {
    text_reader reader(part_path);
    if (!reader.is_open()) return std::nullopt;
    std::vector<std::string> header;
    std::string line;
    while (read_whole_line(reader, line) && !is_blank_line(line)) header.push_back(line);
    return header;
}

std::optional<std::string> part_header_value(const std::vector<std::string>& header, std::string_view field,
                                             std::size_t capacity, std::string_view default_value) {
    for (const std::string& line : header) {
        if (!starts_with_nocase(line, field)) continue;
        std::size_t start = skip_chars(line, field.size() + 1, "\t :");
        if (start >= line.size()) return std::nullopt;
        std::size_t end = line.find_first_of("\n\t ;", start);
        if (end == std::string::npos || end - start + 1 > capacity) return std::nullopt;
        return line.substr(start, end - start);
    }
    return std::string(default_value);
}

std::optional<std::string_view> parameter_value(std::string_view line, std::size_t pos, std::string_view ends,
                                                bool need_end) {
    bool quoted = false;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '"')) {
        quoted = quoted || line[pos] == '"';
        ++pos;
    }
    std::size_t end = quoted ? line.find('"', pos) : line.find_first_of(ends, pos);
    if (end == std::string_view::npos) {
        if (need_end) return std::nullopt;
        end = without_line_feed(line).size();
        if (end < pos) end = pos;
    }
    return line.substr(pos, end - pos);
}

namespace {

// A name parameter's value from `pos` (after "name="): tabs, spaces and
// double quotes skipped; a value that opened with a double quote ends at the
// next one that no backslash takes, any other at a blank or at the
// semicolon that starts the next parameter (or at the line end).
std::string name_value(std::string_view line, std::size_t pos) {
    bool quoted = false;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '"')) {
        quoted = quoted || line[pos] == '"';
        ++pos;
    }
    std::string_view rest = without_line_feed(line.substr(std::min(pos, line.size())));
    if (!quoted) return std::string(rest.substr(0, rest.find_first_of("\t ;")));
    std::string value;
    for (std::size_t at = 0; at < rest.size() && rest[at] != '"';) {
        if (rest[at] == '\\' && at + 1 < rest.size()) ++at;
        std::size_t length = char_length(rest, at);
        value.append(rest, at, length);
        at += length;
    }
    return value;
}

}  // namespace

std::optional<std::string> part_file_name(const std::vector<std::string>& header) {
    constexpr std::string_view filename_parameter = "filename=";
    constexpr std::string_view name_parameter = "name=";
    std::optional<std::string> named;
    for (const std::string& line : header) {
        std::size_t at = find_nocase(line, filename_parameter);
        if (at != std::string::npos) return name_value(line, at + filename_parameter.size());
        at = find_nocase(line, name_parameter);
        if (at != std::string::npos) named = name_value(line, at + name_parameter.size());
    }
    return named;
}

std::string boundary_delimiter(std::string_view line) {
    constexpr std::string_view parameter = "boundary=";
    std::size_t at = find_nocase(line, parameter);
    if (at == std::string_view::npos) return {};
    // An unquoted boundary is a token, which a semicolon ends.
    std::string_view value = *parameter_value(line, at + parameter.size(), "\n\t \";", false);
    return value.empty() ? std::string() : "--" + std::string(value);
}

std::string joined_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

void neutralize_ctrl_z(std::string& line) {
    for (char& c : line) {
        if (c == ctrl_z) c = ' ';
    }
}

bool rewrite_text(std::string_view path, std::string_view text) {
    return rewrite_through_companion(path, [text](text_writer& out) { return out.write(text); });
}

}  // namespace qm
