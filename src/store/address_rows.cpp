#include "store/address_rows.h"

#include <algorithm>
#include <optional>

#include "base/find_nocase.h"
#include "base/multibyte.h"
#include "message/header_fields.h"
#include "message/header_reader.h"
#include "message/message_lines.h"
#include "platform/text_file.h"
#include "store/compose.h"
#include "text/encoded_words.h"
#include "text/mail_address.h"

namespace qm {

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view blanks = " \t";
// Room for whatever a header line holds: the list cuts nothing.
constexpr std::size_t item_capacity = message_line_capacity;

// One address item of the header text: its field, its position within the
// field and where it stands in the text.
struct item_span {
    int field;
    int index;
    std::size_t start;
    std::size_t end;
};

// The field a line starts, or -1.
int field_of_line(std::string_view line) {
    for (std::size_t i = 0; i < address_list_fields.size(); ++i) {
        if (is_field_line(line, address_list_fields[i].name)) return static_cast<int>(i);
    }
    return -1;
}

std::string_view trimmed(std::string_view text) {
    std::size_t first = text.find_first_not_of(blanks);
    if (first == npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool is_ascii(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Walks the items of one line from `pos`, as header_without_address counts
// them; false when one of them is left open.
bool take_line_items(std::string_view line, std::size_t offset, std::size_t pos, int field, int& count,
                     std::vector<item_span>& spans) {
    pos = skip_chars(line, pos, ", \t");
    while (mbs_find_char(line, '@', pos) != npos) {
        std::size_t end = find_address_end(line, pos);
        if (end == npos) return false;
        spans.push_back({field, count++, offset + pos, offset + end});
        if (mbs_find_char(line, '@', end) == npos) break;
        pos = skip_chars(line, end, ", \t");
    }
    return true;
}

std::vector<item_span> address_spans(std::string_view text) {
    std::vector<item_span> spans;
    std::array<int, address_list_fields.size()> counts{};
    // A field that cannot be walked past a point lists nothing after it:
    // its later addresses could not be changed either.
    std::array<bool, address_list_fields.size()> stopped{};
    int current = -1;
    line_splitter lines(text);
    std::size_t offset = 0;
    for (std::string_view line; lines.next(line); offset += line.size()) {
        if (is_blank_line(line)) break;
        int field = field_of_line(line);
        std::size_t pos = 0;
        if (field >= 0) {
            current = field;
            pos = mbs_find_char(line, ':');
            if (pos == npos) {
                stopped[static_cast<std::size_t>(field)] = true;
                continue;
            }
            ++pos;
        } else if (current >= 0 && is_continuation_line(line)) {
            field = current;
        } else {
            current = -1;
            continue;
        }
        const auto slot = static_cast<std::size_t>(field);
        if (stopped[slot]) continue;
        if (!take_line_items(line, offset, pos, field, counts[slot], spans)) stopped[slot] = true;
    }
    return spans;
}

// Encoded words that were left in the header (a draft may hold them as they
// were pasted) are decoded for the list and the address book. Only ASCII
// text is decoded, so that CP932 text is never read as another charset.
std::string decoded(std::string text) {
    if (is_ascii(text) && text.find("=?") != npos) decode_header_line(text);
    return text;
}

address_row row_of(std::string_view text, const item_span& span) {
    address_row row;
    row.field = span.field;
    row.index = span.index;
    std::string_view item = text.substr(span.start, span.end - span.start);
    row.written = std::string(trimmed(item));
    row.shown = decoded(row.written);
    split_address(item, &row.name, item_capacity, &row.address, item_capacity);
    row.name = decoded(std::move(row.name));
    return row;
}

bool valid_field(int field) { return field >= 0 && field < static_cast<int>(address_list_fields.size()); }

std::string_view field_name(int field) { return address_list_fields[static_cast<std::size_t>(field)].name; }

// The header file as it is, every byte kept (a Ctrl-Z too).
bool read_header(std::string_view header_path, std::string& text) { return read_message_text(header_path, text); }

// The item of `row` in the text, when it is still the one the row was read
// from.
std::optional<item_span> find_row(std::string_view text, const address_row& row) {
    for (const item_span& span : address_spans(text)) {
        if (span.field != row.field || span.index != row.index) continue;
        if (trimmed(text.substr(span.start, span.end - span.start)) != row.written) return std::nullopt;
        return span;
    }
    return std::nullopt;
}

// The addresses a typed recipient gives, each fit for one header item;
// empty when it gives none that is.
std::vector<std::string> addresses_for(std::string_view recipient) {
    if (!is_valid_recipient(recipient)) return {};
    std::vector<std::string> addresses = recipient_addresses(recipient);
    const bool all_fit = std::all_of(addresses.begin(), addresses.end(), [](const std::string& address) {
        return !trimmed(address).empty() && !holds_line_break(address);
    });
    if (!all_fit) return {};
    return addresses;
}

bool has_field_line(std::string_view text, std::string_view name) {
    line_splitter lines(text);
    for (std::string_view line; lines.next(line);) {
        if (is_field_line(line, name)) return true;
    }
    return false;
}

// Adds the addresses to the field in their order. Each value goes in right
// after the field's first line, so they go in from the last; when there is
// no such field the first one makes it.
std::optional<std::string> with_addresses(std::string text, int field, const std::vector<std::string>& addresses) {
    std::string_view name = field_name(field);
    std::size_t first_from_end = 0;
    if (!addresses.empty() && !has_field_line(text, name)) {
        std::optional<std::string> made = header_with_value(text, name, addresses.front());
        if (!made) return std::nullopt;
        text = std::move(*made);
        first_from_end = 1;
    }
    for (std::size_t i = addresses.size(); i > first_from_end; --i) {
        std::optional<std::string> added = header_with_value(text, name, addresses[i - 1]);
        if (!added) return std::nullopt;
        text = std::move(*added);
    }
    return text;
}

int written_or_error(std::string_view header_path, const std::optional<std::string>& text) {
    return text && rewrite_text(header_path, *text) ? 0 : str::file_error;
}

int too_many_for(std::size_t rows, std::size_t added) {
    return rows + added > static_cast<std::size_t>(max_address_rows) ? str::address_list_too_many : 0;
}

}  // namespace

std::string address_kind_label(int field) {
    if (!valid_field(field)) return {};
    const address_field& kind = address_list_fields[static_cast<std::size_t>(field)];
    std::string label = load_string(kind.kind_text);
    label.append(label.size() < address_kind_width ? address_kind_width - label.size() : 1, ' ');
    label += "(";
    label += kind.name;
    label += ")";
    return label;
}

std::vector<address_row> address_rows_of(std::string_view header_text) {
    std::vector<address_row> rows;
    for (const item_span& span : address_spans(header_text)) rows.push_back(row_of(header_text, span));
    return rows;
}

bool read_address_rows(std::string_view header_path, std::vector<address_row>& rows) {
    rows.clear();
    std::string text;
    if (!read_header(header_path, text)) return false;
    rows = address_rows_of(text);
    return true;
}

int add_address(std::string_view header_path, int field, std::string_view recipient) {
    if (!valid_field(field)) return str::invalid_address;
    std::vector<std::string> addresses = addresses_for(recipient);
    if (addresses.empty()) return str::invalid_address;
    std::string text;
    if (!read_header(header_path, text)) return str::file_error;
    if (int refused = too_many_for(address_spans(text).size(), addresses.size())) return refused;
    return written_or_error(header_path, with_addresses(std::move(text), field, addresses));
}

int change_address(std::string_view header_path, const address_row& row, int field, std::string_view recipient) {
    if (!valid_field(field)) return str::invalid_address;
    const bool same_address = !row.address.empty() && recipient == row.address;
    std::vector<std::string> addresses;
    if (same_address) {
        if (field == row.field) return 0;
        addresses.push_back(row.written);
    } else {
        addresses = addresses_for(recipient);
        if (addresses.empty()) return str::invalid_address;
    }
    std::string text;
    if (!read_header(header_path, text)) return str::file_error;
    std::optional<item_span> span = find_row(text, row);
    if (!span) return str::file_error;
    if (int refused = too_many_for(address_spans(text).size() - 1, addresses.size())) return refused;
    if (field == row.field && addresses.size() == 1) {
        // In its place, the blanks around the old item kept.
        std::string_view item = std::string_view(text).substr(span->start, span->end - span->start);
        std::size_t lead = item.find_first_not_of(blanks);
        std::size_t start = span->start + (lead == npos ? 0 : lead);
        std::size_t end = span->start + item.find_last_not_of(blanks) + 1;
        if (lead == npos) end = start;
        text.replace(start, end - start, addresses.front());
        return written_or_error(header_path, text);
    }
    std::optional<std::string> removed = header_without_address(text, field_name(row.field), row.index);
    if (!removed) return str::file_error;
    return written_or_error(header_path, with_addresses(std::move(*removed), field, addresses));
}

int remove_address(std::string_view header_path, const address_row& row) {
    if (!valid_field(row.field)) return str::file_error;
    std::string text;
    if (!read_header(header_path, text)) return str::file_error;
    if (!find_row(text, row)) return str::file_error;
    return written_or_error(header_path, header_without_address(text, field_name(row.field), row.index));
}

}  // namespace qm
