#include "message/header_fields.h"

#include <algorithm>
#include <optional>

#include "message/header_reader.h"
#include "message/message_lines.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "message/part_file.h"
#include "base/find_nocase.h"
#include "base/format.h"
#include "text/mail_address.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr std::string_view subject_field = "Subject";
constexpr std::string_view bcc_field = "Bcc";
constexpr std::string_view disposition_field = "Content-Disposition";
constexpr std::string_view content_type_field = "Content-Type";
constexpr std::string_view text_plain = "text/plain";

// Text that ends with a line feed unless it is empty, so that a line can be
// appended to it.
void end_last_line(std::string& text) {
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
}

// Copies the header lines of `text` into `out`, replacing each field that
// starts with `field` (with its continuation lines) by `replacement`, which
// may be empty. Stops at the first blank line when `header_only` is set and
// copies the rest unchanged. Returns the number of fields replaced; the
// position of the blank line (or the header's end) is left in `header_end`.
int replace_fields(std::string_view text, std::string_view field, std::string_view replacement, bool header_only,
                   std::string& out, std::size_t& header_end) {
    line_splitter lines(text);
    std::string_view line;
    int replaced = 0;
    bool dropping = false;
    header_end = npos;
    while (lines.next(line)) {
        if (header_only && is_blank_line(line)) {
            header_end = out.size();
            out += line;
            out += lines.rest();
            return replaced;
        }
        if (dropping && is_continuation_line(line)) continue;
        dropping = false;
        if (is_field_line(line, field)) {
            out += replacement;
            dropping = true;
            ++replaced;
            continue;
        }
        out += line;
    }
    header_end = out.size();
    return replaced;
}

bool is_ascii(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// ---- removing one address ----

// Where the address to remove stands: its line, its start and end, and
// whether it is the line's first address.
struct address_place {
    std::size_t start;
    std::size_t end;
    bool first_on_line;
};

enum class walk_result { next_line, found, malformed };

// Counts the addresses of one field line from `pos` on, as
// get_header_address counts them, until the one at `index` begins here.
walk_result find_address_on_line(std::string_view line, std::size_t pos, int& count, int index,
                                 address_place& place) {
    std::size_t first = pos;
    for (;;) {
        if (count == index) {
            if (mbs_find_char(line, '@', pos) == npos) return walk_result::next_line;
            std::size_t end = find_address_end(line, pos);
            if (end == npos) return walk_result::malformed;
            place = {pos, end, pos == first};
            return walk_result::found;
        }
        std::size_t end = find_address_end(line, pos);
        if (end == npos) return walk_result::malformed;
        if (end == pos) return walk_result::next_line;
        ++count;
        if (mbs_find_char(line, '@', end) == npos) return walk_result::next_line;
        pos = skip_chars(line, end, ", \t");
    }
}

// Removes the comma (and the blanks after it) that ends a written line.
void drop_final_comma(std::string& line) {
    std::string_view body = without_line_feed(line);
    std::size_t last = body.find_last_not_of(" \t");
    if (last != npos && body[last] == ',') line = std::string(body.substr(0, last)) + "\n";
}

// The line with the address at `place` taken out; nullopt when the whole
// line goes. `field_line` is the line that names the field (its colon at
// `colon`); `field_goes_on` tells whether a continuation line follows.
std::optional<std::string> without_address(std::string_view line, const address_place& place, bool field_line,
                                           std::size_t colon, bool field_goes_on, bool& drop_previous_comma) {
    drop_previous_comma = false;
    if (!place.first_on_line) {
        std::size_t from = place.start;
        while (from > 0 && (line[from - 1] == ',' || line[from - 1] == ' ' || line[from - 1] == '\t')) --from;
        return std::string(line.substr(0, from)) + std::string(line.substr(place.end));
    }
    if (mbs_find_char(line, '@', place.end) != npos) {
        std::size_t next = skip_chars(line, place.end, ", \t");
        return std::string(line.substr(0, place.start)) + std::string(line.substr(next));
    }
    // The line's only address.
    bool comma_follows = place.end < line.size() && line[place.end] == ',';
    if (field_line) {
        // With more of the field on the next lines the name stays, and the
        // next line completes it; otherwise the field is gone.
        if (comma_follows || field_goes_on) return std::string(line.substr(0, colon + 1)) + "\n";
        return std::nullopt;
    }
    if (!comma_follows) drop_previous_comma = true;
    return std::nullopt;
}

}  // namespace

bool has_header_line(std::string_view path, std::string_view name) { return has_header_line(path, std::span(&name, 1)); }

bool has_header_line(std::string_view path, std::span<const std::string_view> names) {
    header_reader header;
    return header.read(path) && header.has_any_line(names);
}

std::string get_subject(std::string_view path, std::size_t capacity) {
    header_reader header;
    header.read(path);
    return header.subject(capacity);
}

bool set_subject(std::string_view header_path, std::string_view subject) {
    if (holds_line_break(subject)) return false;
    std::string text;
    if (!read_text_file(header_path, text)) return false;
    std::string line = std::string(subject_field) + ": " + std::string(subject) + "\n";
    std::string out;
    std::size_t header_end;
    if (replace_fields(text, subject_field, line, false, out, header_end) == 0) {
        end_last_line(out);
        out += line;
    }
    return rewrite_text(header_path, out);
}

std::optional<std::string> header_with_value(std::string_view text, std::string_view field, std::string_view value) {
    if (holds_line_break(value)) return std::nullopt;
    std::string out;
    out.reserve(text.size() + value.size() + field.size() + 8);
    line_splitter lines(text);
    std::string_view line;
    bool found = false;
    while (lines.next(line)) {
        if (found || !is_field_line(line, field)) {
            out += line;
            continue;
        }
        found = true;
        std::string_view body = without_line_feed(line);
        std::size_t last = body.find_last_not_of(" \t");
        body = body.substr(0, last == npos ? 0 : last + 1);
        out += body;
        if (!body.empty() && body.back() == ',') {
            out += "\n ";
            out += value;
            out += ",\n";
        } else {
            out += ",\n ";
            out += value;
            out += "\n";
        }
    }
    if (!found) {
        end_last_line(out);
        out += string_printf("%.*s: %.*s\n", static_cast<int>(field.size()), field.data(),
                             static_cast<int>(value.size()), value.data());
    }
    return out;
}

std::optional<std::string> header_without_address(std::string_view text, std::string_view field, int index) {
    std::vector<std::string_view> lines;
    line_splitter splitter(text);
    for (std::string_view line; splitter.next(line);) lines.push_back(line);

    std::vector<std::string> out;
    out.reserve(lines.size());
    int count = 0;
    bool in_field = false;
    bool done = index < 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (done || is_blank_line(line)) {
            // The header ends at a blank line: the rest is copied as it is.
            done = true;
            out.emplace_back(line);
            continue;
        }
        bool field_line = is_field_line(line, field);
        std::size_t colon = 0;
        std::size_t pos = 0;
        if (field_line) {
            in_field = true;
            colon = mbs_find_char(line, ':');
            if (colon == npos) return std::nullopt;
            pos = colon + 1;
        } else if (!in_field || !is_continuation_line(line)) {
            in_field = false;
            out.emplace_back(line);
            continue;
        }
        address_place place{};
        switch (find_address_on_line(line, skip_chars(line, pos, ", \t"), count, index, place)) {
        case walk_result::malformed:
            return std::nullopt;
        case walk_result::next_line:
            out.emplace_back(line);
            continue;
        case walk_result::found:
            break;
        }
        bool goes_on = i + 1 < lines.size() && is_continuation_line(lines[i + 1]);
        bool drop_previous_comma = false;
        std::optional<std::string> changed = without_address(line, place, field_line, colon, goes_on, drop_previous_comma);
        if (drop_previous_comma && !out.empty()) drop_final_comma(out.back());
        if (changed) out.push_back(std::move(*changed));
        done = true;
    }
    std::string result;
    result.reserve(text.size());
    for (const std::string& line : out) result += line;
    return result;
}

bool add_header_value(std::string_view header_path, std::string_view field, std::string_view value) {
    std::string text;
    if (!read_text_file(header_path, text)) return false;
    std::optional<std::string> changed = header_with_value(text, field, value);
    return changed && rewrite_text(header_path, *changed);
}

bool remove_fields(std::string_view path, std::string_view field) {
    std::string text;
    if (!read_text_file(path, text)) return false;
    std::string out;
    out.reserve(text.size());
    std::size_t header_end;
    if (replace_fields(text, field, {}, true, out, header_end) == 0) return true;
    return rewrite_text(path, out);
}

bool remove_bcc(std::string_view path) { return remove_fields(path, bcc_field); }

bool format_address_line(std::string& output, std::size_t capacity, std::string_view field,
                         std::string_view address, std::string_view name) {
    std::string line(field);
    if (name.empty()) {
        line += ": " + std::string(address) + "\n";
    } else if (is_ascii(name)) {
        line += ": \"" + std::string(name) + "\" <" + std::string(address) + ">\n";
    } else {
        line += ": " + std::string(address) + " (" + std::string(name) + ")\n";
    }
    output = cut_to_capacity(line, capacity);
    return output.size() == line.size();
}

bool get_part_header_value(std::string_view field, std::string& value, std::string_view base_path, int part,
                           std::size_t capacity, std::string_view default_value) {
    std::optional<std::vector<std::string>> header = read_part_header(part_file(base_path, part));
    if (!header) return false;
    value = default_value;
    std::optional<std::string> found = part_header_value(*header, field, capacity, default_value);
    if (!found) return false;
    value = std::move(*found);
    return true;
}

bool get_content_type(std::string_view base_path, int part, std::string& type, std::size_t capacity) {
    return get_part_header_value(content_type_field, type, base_path, part, capacity, text_plain);
}

bool get_part_filename(std::string_view base_path, int part, std::string& name, std::size_t capacity) {
    std::optional<std::vector<std::string>> header = read_part_header(part_file(base_path, part));
    if (!header) return false;
    std::optional<std::string> found = part_file_name(*header);
    if (!found) return false;
    name = cut_to_capacity(*found, capacity);
    return true;
}

bool set_part_filename(std::string_view base_path, int part, std::string_view name) {
    if (holds_line_break(name) || name.find('"') != npos) return false;
    std::string path = part_file(base_path, part);
    std::string text;
    if (!read_text_file(path, text)) return false;
    std::string line = std::string(disposition_field) + ": attachment; filename=\"" + std::string(name) + "\"\n";
    std::string out;
    out.reserve(text.size() + line.size());
    std::size_t header_end;
    if (replace_fields(text, disposition_field, line, true, out, header_end) == 0) {
        // A part without the field gets it at the end of its header.
        std::string head = out.substr(0, header_end);
        end_last_line(head);
        out = head + line + out.substr(header_end);
    }
    return rewrite_text(path, out);
}

int find_text_part(std::string_view base_path) {
    for (int part = 1;; ++part) {
        std::optional<std::vector<std::string>> header = read_part_header(part_file(base_path, part));
        if (!header) return -1;
        std::optional<std::string> type = part_header_value(*header, content_type_field, content_type_capacity, text_plain);
        if (type && equals_nocase(*type, text_plain)) return part;
    }
}

}  // namespace qm
