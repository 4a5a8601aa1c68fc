#include "store/mail_reading.h"

#include <algorithm>

#include "base/find_nocase.h"
#include "base/format.h"
#include "base/multibyte.h"
#include "message/draft_header.h"
#include "message/header_fields.h"
#include "message/header_reader.h"
#include "message/html_text.h"
#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "message/part_file.h"
#include "platform/file_operations.h"
#include "platform/open_directory.h"
#include "platform/cp932.h"
#include "platform/string_table.h"
#include "platform/text_file.h"
#include "store/attachments.h"
#include "store/receive_filing.h"
#include "text/cp932_tables.h"
#include "text/display_text.h"
#include "text/header_text_utf8.h"
#include "text/mail_date.h"
#include "text/unicode_forms.h"
#include "text/utf8_sjis.h"
#include "text/utf8_text.h"

namespace qm {

namespace {

constexpr std::string_view html_type = "text/html";
// Where the header of a raw message ends (its line ends are the server's CR LF).
constexpr std::string_view raw_header_end = "\n\r\n";
constexpr std::size_t npos = std::string::npos;

bool only_blanks(std::string_view text) { return text.find_first_not_of(" \t\r\n") == npos; }

std::string without_leading_blanks(std::string_view text) {
    std::size_t start = text.find_first_not_of(" \t");
    return start == npos ? std::string() : std::string(text.substr(start));
}

// The header of a raw message: up to its blank line, LF line ends.
std::string raw_header_of(std::string_view bytes) {
    std::string text = message_text_of(bytes);
    if (text.starts_with('\n')) return {};
    std::size_t end = text.find("\n\n");
    if (end != npos) text.resize(end + 1);
    return text;
}

// The stored text of part `part` given back with the characters it lost,
// from the raw message, where the two agree.
std::string text_as_sent(std::string_view base, int part, const std::string& stored) {
    std::string shown = display_utf8(stored);
    if (!holds_lost_character_mark(stored)) return shown;
    std::string raw;
    if (!read_message_text(std::string(base) + std::string(raw_copy_name), raw)) return shown;
    unfold_header_text(raw);
    std::optional<std::string> unicode = text_part_unicode(raw, part);
    if (!unicode) return shown;
    std::optional<std::string> form = unicode_form(stored, *unicode);
    return form ? std::move(*form) : shown;
}

// The first text/html part that is no attachment.
std::optional<std::pair<int, stored_body>> html_part(const std::string& base) {
    for (int part = 1; path_exists(part_file(base, part)); ++part) {
        std::string type;
        if (!get_content_type(base, part, type, content_type_capacity) || !equals_nocase(type, html_type)) continue;
        std::optional<stored_body> body = read_stored_body(base, part);
        if (body && !body->attachment) return std::make_pair(part, std::move(*body));
    }
    return std::nullopt;
}

std::optional<readable_text> html_rendition(const std::string& base) {
    std::optional<std::pair<int, stored_body>> html = html_part(base);
    if (!html) return std::nullopt;
    return readable_text{html_text(html->second.bytes, html->second.charset), html->first, true};
}

std::string joined_value(const std::vector<header_field>& fields, std::string_view name) {
    const header_field* field = find_field(fields, name);
    return field ? without_leading_blanks(field->value) : std::string();
}

std::string label(int id) { return display_utf8(load_string(id)); }

bool counts_as_attachment(const part_row& row, const readable_text& text) {
    return row.number != text.part && !(row.file_name.empty() && equals_nocase(row.media_type, html_type));
}

// "name (12 KB)" for each attachment.
std::string attachment_summary(std::string_view base, const readable_text& text) {
    std::string summary;
    for (const part_row& row : list_parts(base)) {
        if (!counts_as_attachment(row, text)) continue;
        if (!summary.empty()) summary += ", ";
        summary += display_utf8(row.file_name.empty() ? row.media_type : row.file_name);
        summary += " (" + reading_size(row.size) + ")";
    }
    return summary;
}


bool named_by(std::string_view line, const std::vector<std::string>* prefixes) {
    if (!prefixes) return true;
    for (const std::string& prefix : *prefixes) {
        if (line.starts_with(prefix)) return true;
    }
    return false;
}

// A field of the stored header as the viewer's copy takes it: its lines,
// and the same in UTF-8 with what it lost given back.
struct copied_field {
    std::string stored;
    std::string as_sent;
};

// The fields of the stored header that `prefixes` name, each with its
// continuation lines.
std::vector<copied_field> copied_fields(std::string_view header_text, const std::vector<std::string>* prefixes) {
    std::vector<copied_field> fields;
    bool copying = false;
    line_splitter lines(header_text);
    std::string_view line;
    while (lines.next(line)) {
        if (is_continuation_line(line)) {
            if (copying) fields.back().stored += line;
            continue;
        }
        copying = named_by(line, prefixes);
        if (copying) fields.push_back({std::string(line), {}});
        if (copying && !line.ends_with('\n')) fields.back().stored += '\n';
    }
    return fields;
}

// A field's lines in UTF-8: as sent where they lost characters and the raw
// header agrees, else as stored.
std::string field_as_sent(const std::string& stored, const sent_header& raw) {
    const std::size_t colon = mbs_find_char(stored, ':');
    if (colon != npos && holds_lost_character_mark(stored)) {
        std::string name = stored.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
        std::string value;
        for (const header_field& field : draft_header_fields(stored)) value = field.value;
        std::string shown = raw.shown(name, without_leading_blanks(value));
        if (shown != display_utf8(without_leading_blanks(value))) return stored.substr(0, colon + 1) + " " + shown + "\n";
    }
    return display_utf8(stored);
}

}  // namespace

readable_text message_readable_text(std::string_view message_dir) {
    const std::string base = with_final_slash(message_dir);
    const int text_part = find_text_part(base);
    std::string stored;
    if (text_part > 0 && read_text_file(part_file(base, text_part), stored) && !only_blanks(stored)) {
        std::string text = text_as_sent(base, text_part, stored);
        // The blank line that ends a stored part's (empty) header is no text.
        text.erase(0, text.find_first_not_of('\n'));
        return {std::move(text), text_part, false};
    }
    if (std::optional<readable_text> html = html_rendition(base)) return std::move(*html);
    if (text_part > 0) return {display_utf8(stored), text_part, false};
    return {};
}

bool has_readable_text(std::string_view message_dir) {
    const std::string base = with_final_slash(message_dir);
    return find_text_part(base) > 0 || html_part(base).has_value();
}

sent_header::sent_header(std::string_view raw) {
    for (header_field& field : draft_header_fields(raw_header_of(raw)))
        fields_.emplace_back(std::move(field.name), std::move(field.value));
}

sent_header sent_header::of_message(std::string_view message_dir) {
    open_directory directory(with_final_slash(message_dir));
    std::string bytes;
    if (!directory.read_file_start(raw_copy_name, bytes, raw_header_limit, raw_header_end)) return {};
    return sent_header(bytes);
}

sent_header sent_header::in_folder(const open_directory& folder, std::string_view message_dir_name) {
    std::string bytes;
    if (!folder.read_file_start(std::string(message_dir_name) + "/" + std::string(raw_copy_name), bytes,
                                raw_header_limit, raw_header_end))
        return {};
    return sent_header(bytes);
}

std::optional<std::string> sent_header::value(std::string_view field) const {
    for (const auto& [name, value] : fields_) {
        if (equals_nocase(name, field)) return without_leading_blanks(header_text_utf8(value));
    }
    return std::nullopt;
}

std::string sent_header::shown(std::string_view field, std::string_view stored_cp932, bool cut) const {
    if (holds_lost_character_mark(stored_cp932)) {
        if (std::optional<std::string> unicode = value(field)) {
            if (std::optional<std::string> form = unicode_form(stored_cp932, *unicode, cut)) return std::move(*form);
        }
    }
    return display_utf8(stored_cp932);
}

std::string sent_header::shown_piece(std::string_view field, std::string_view stored_cp932, std::size_t start,
                                     std::size_t length) const {
    std::string_view piece = stored_cp932.substr(std::min(start, stored_cp932.size()), length);
    if (holds_lost_character_mark(piece)) {
        if (std::optional<std::string> unicode = value(field)) {
            if (std::optional<std::string> form = unicode_form_of_piece(stored_cp932, *unicode, start, length))
                return std::move(*form);
        }
    }
    return display_utf8(piece);
}

std::vector<int> attachment_parts(std::string_view message_dir, const readable_text& text) {
    std::vector<int> parts;
    for (const part_row& row : list_parts(with_final_slash(message_dir)))
        if (counts_as_attachment(row, text)) parts.push_back(row.number);
    return parts;
}

std::vector<int> attachment_parts(std::string_view message_dir) {
    return attachment_parts(message_dir, message_readable_text(message_dir));
}

std::string reading_size(std::int64_t bytes) {
    constexpr std::int64_t kilo = 1024;
    if (bytes < kilo) return std::to_string(bytes) + " B";
    if (bytes < kilo * kilo) return std::to_string((bytes + kilo - 1) / kilo) + " KB";
    return string_printf("%.1f MB", static_cast<double>(bytes) / static_cast<double>(kilo * kilo));
}

std::vector<reading_line> reading_header(std::string_view message_dir, const readable_text& text) {
    const std::string base = with_final_slash(message_dir);
    header_reader header;
    header.read(part_file(base, 0));
    const std::vector<header_field> fields = header.fields();
    std::optional<sent_header> raw;
    auto shown = [&](std::string_view field) {
        std::string stored = joined_value(fields, field);
        if (holds_lost_character_mark(stored) && !raw) raw = sent_header::of_message(base);
        return raw ? raw->shown(field, stored) : display_utf8(stored);
    };

    std::vector<reading_line> lines;
    auto add = [&](int label_id, std::string value) {
        if (!value.empty()) lines.push_back({label(label_id), with_visible_controls(value, false)});
    };
    add(str::reading_from, shown("From"));
    add(str::reading_to, shown("To"));
    add(str::reading_cc, shown("Cc"));
    std::string date = format_header_reading_date(header.text());
    add(str::reading_date, date.empty() ? shown("Date") : date);
    add(str::reading_subject, shown("Subject"));
    add(str::reading_attachments, attachment_summary(base, text));
    return lines;
}

namespace {

std::string cut_with_mark(std::string_view utf8, std::size_t limit) {
    const std::string_view kept = utf8_prefix(utf8, limit);
    std::string shown(kept);
    if (kept.size() < utf8.size()) shown += cut_mark(utf8.size() - kept.size());
    return shown;
}

std::string document_within(std::string_view message_dir, std::size_t value_limit, std::size_t text_limit) {
    readable_text text = message_readable_text(message_dir);
    std::string document;
    for (const reading_line& line : reading_header(message_dir, text))
        document += line.label + ": " + cut_with_mark(line.value, value_limit) + "\n";
    document += "\n";
    document += with_visible_controls(cut_with_mark(text.utf8, text_limit));
    return document;
}

}  // namespace

std::string reading_document(std::string_view message_dir) { return document_within(message_dir, npos, npos); }

std::string preview_document(std::string_view message_dir) {
    return in_short_lines(document_within(message_dir, preview_value_limit, preview_limit), preview_line_limit, true);
}

std::string cut_mark(std::size_t bytes_left_out) {
    return "\u2026(+" + reading_size(static_cast<std::int64_t>(bytes_left_out)) + ")";
}

std::string in_short_lines(std::string_view text, std::size_t limit, bool utf8) {
    std::string out;
    out.reserve(text.size() + text.size() / std::max<std::size_t>(limit, 1) + 1);
    std::size_t piece = 0, blank_end = 0;  // bytes of the current line's piece; the end of its last blank
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t step = utf8 ? utf8_step(text, pos) : char_length(text, pos);
        if (text[pos] == '\n') {
            piece = blank_end = 0;
        } else if (piece + step > limit && piece > 0) {
            // The piece ends after its last blank when that is in its second half.
            const std::size_t keep = blank_end > limit / 2 ? blank_end : piece;
            out.insert(out.size() - (piece - keep), 1, '\n');
            piece -= keep;
            blank_end = 0;
        }
        out.append(text, pos, step);
        if (text[pos] != '\n') piece += step;
        if (text[pos] == ' ') blank_end = piece;
        pos += step;
    }
    return out;
}

reading_copy reading_copy_of(std::string_view message_dir, const std::vector<std::string>* prefixes, bool header_only) {
    const std::string base = with_final_slash(message_dir);
    reading_copy copy;
    std::string header_text;
    read_text_file(part_file(base, 0), header_text);
    const std::vector<copied_field> fields = copied_fields(header_text, prefixes);

    readable_text text;
    std::string stored_text;
    if (!header_only) {
        text = message_readable_text(base);
        if (text.part < 0) return copy;
        if (!text.html) read_text_file(part_file(base, text.part), stored_text);
    }
    copy.found = true;

    // As sent, in UTF-8, only what lost characters that the raw message gives back.
    std::optional<sent_header> raw;
    bool changed = text.html;
    std::string utf8;
    for (const copied_field& field : fields) {
        std::string shown = display_utf8(field.stored);
        if (holds_lost_character_mark(field.stored)) {
            if (!raw) raw = sent_header::of_message(base);
            std::string as_sent = field_as_sent(field.stored, *raw);
            changed = changed || as_sent != shown;
            shown = std::move(as_sent);
        }
        utf8 += shown;
    }
    if (!header_only) {
        utf8 += "\n";
        if (text.html) {
            utf8 += text.utf8;
        } else {
            std::string as_sent = text_as_sent(base, text.part, stored_text);
            changed = changed || as_sent != display_utf8(stored_text);
            utf8 += as_sent;
        }
    }
    if (changed) {
        copy.text = std::move(utf8);
        copy.utf8 = true;
        return copy;
    }
    for (const copied_field& field : fields) copy.text += field.stored;
    if (!header_only) copy.text += "\n" + stored_text;
    return copy;
}

std::vector<std::string> characters_cp932_lacks(std::string_view utf8) {
    std::vector<std::string> names;
    for (std::size_t pos = 0; pos < utf8.size(); pos += utf8_step(utf8, pos)) {
        const char32_t c = utf8_code_point(utf8, pos);
        if (c < 0x80 || cp932_code_of(c) != 0) continue;
        std::string name = code_point_name(c);
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    }
    return names;
}

text_for_writing message_text_for_writing(std::string_view message_dir) {
    const std::string base = with_final_slash(message_dir);
    readable_text text = message_readable_text(base);
    text_for_writing result;
    result.found = text.part > 0;
    if (!result.found) return result;
    result.lost = characters_cp932_lacks(text.utf8);
    // A stored text is taken as it stands, byte for byte.
    if (text.html || !read_text_file(part_file(base, text.part), result.cp932)) result.cp932 = utf8_to_sjis_copy(text.utf8);
    return result;
}

}  // namespace qm
