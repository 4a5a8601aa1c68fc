#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "message/body_charset.h"
#include "message/header_fields.h"
#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "message/part_file.h"
#include "text/base64.h"
#include "text/encoded_words.h"
#include "base/find_nocase.h"
#include "text/quoted_printable.h"

namespace qm {

namespace {

constexpr std::string_view content_type_field = "Content-Type";
constexpr std::string_view encoding_field = "Content-Transfer-Encoding";
constexpr std::string_view disposition_field = "Content-Disposition";
constexpr std::string_view default_charset = "ISO-2022-JP";
constexpr std::string_view default_encoding = "7bit";
// Room for a charset name or a transfer encoding: at most 127 characters.
constexpr std::size_t token_capacity = 128;

// The head of a part file: its header lines and whether a blank line ended
// them.
struct part_text {
    std::vector<std::string> header;
    bool has_blank_line = false;
};

bool read_part_head(text_reader& reader, part_text& part) {
    std::string line;
    while (read_whole_line(reader, line)) {
        if (is_blank_line(line)) {
            part.has_blank_line = true;
            break;
        }
        part.header.push_back(line);
    }
    return !reader.failed();
}

// What the part's header says about it. Parts whose type, charset or
// encoding cannot be read are stored as they came.
struct part_values {
    std::string type;
    std::string charset;
    std::string encoding;
};

std::optional<part_values> read_part_values(const std::vector<std::string>& header) {
    part_values values;
    std::optional<std::string> type = part_header_value(header, content_type_field, content_type_capacity, "text/plain");
    if (!type) return std::nullopt;
    values.type = std::move(*type);
    values.charset = default_charset;
    for (const std::string& line : header) {
        if (!starts_with_nocase(line, content_type_field)) continue;
        constexpr std::string_view parameter = "charset=";
        constexpr std::size_t parameters_start = 13;
        std::size_t at = find_nocase(line, parameter, parameters_start);
        if (at != std::string::npos) {
            std::optional<std::string_view> charset = parameter_value(line, at + parameter.size(), "\n\t ;", true);
            if (!charset) return std::nullopt;
            values.charset = cut_to_capacity(*charset, token_capacity);
        }
        break;
    }
    std::optional<std::string> encoding = part_header_value(header, encoding_field, token_capacity, default_encoding);
    if (!encoding) return std::nullopt;
    values.encoding = std::move(*encoding);
    return values;
}

bool is_encoding(const part_values& values, std::string_view name) { return equals_nocase(values.encoding, name); }

// Quoted-printable lines decoded; a soft line break joins a line with the
// next before it is decoded, so that an escape sequence or a shift state
// that spans the break is read whole. A soft break on the last line leaves
// the text without a final line feed.
std::string qp_decode_body(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    line_splitter lines(body);
    std::string_view line;
    std::string joined;
    while (lines.next(line)) {
        joined += line;
        if (joined.size() >= 2 && joined.ends_with("=\n")) {
            joined.resize(joined.size() - 2);
            continue;
        }
        qp_decode_line(joined);
        out += joined;
        joined.clear();
    }
    qp_decode_line(joined);
    out += joined;
    return out;
}

// CR LF turned into LF, as a file written with them reads in text mode.
std::string as_text_lines(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text.push_back(bytes[i]);
    }
    return text;
}

// The Base64 body of the part file decoded, through the part's companion
// file; nullopt when it does not decode (or cannot be written).
std::optional<std::string> base64_body(std::string_view part_path) {
    std::string scratch = companion_path(part_path);
    std::string bytes;
    bool decoded = base64_decode_part_file(scratch, part_path) && read_binary_file(scratch, bytes);
    std::string disk = disk_path(scratch);
    if (!disk.empty()) ::unlink(disk.c_str());
    if (!decoded) return std::nullopt;
    return bytes;
}

// The body of a text/plain part in CP932. Transfer encodings and charsets
// this program does not know keep the body as it came.
std::string plain_text_body(std::string_view part_path, const part_values& values, std::string_view body) {
    body_charset kind = classify_charset(values.charset);
    if (is_encoding(values, "base64")) {
        if (kind == body_charset::unknown) return std::string(body);
        std::optional<std::string> bytes = base64_body(part_path);
        if (!bytes) return std::string(body);
        return as_text_lines(body_to_cp932(kind, values.charset, *bytes));
    }
    if (is_encoding(values, "quoted-printable")) {
        std::string bytes = qp_decode_body(body);
        if (kind == body_charset::unknown) return jis_lines_to_sjis(bytes);
        return body_to_cp932(kind, values.charset, bytes);
    }
    if (is_encoding(values, "7bit") || is_encoding(values, "8bit") || is_encoding(values, "binary")) {
        switch (kind) {
        case body_charset::iso2022jp:
        case body_charset::unknown:
            return jis_lines_to_sjis(body);
        case body_charset::utf8:
            return jis_lines_to_sjis(body_to_cp932(kind, values.charset, body));
        case body_charset::sjis:
        case body_charset::other:
            return body_to_cp932(kind, values.charset, body);
        }
    }
    return std::string(body);
}

// The header lines another part keeps: the transfer encoding goes where the
// body no longer needs it; the type and disposition lines of a non-text
// part get their encoded words and file name decoded.
std::vector<std::string> kept_header(const std::vector<std::string>& header, const part_values& values,
                                     bool text_type) {
    bool drop_encoding = is_encoding(values, "7bit") || (text_type && is_encoding(values, "quoted-printable"));
    std::vector<std::string> kept;
    kept.reserve(header.size());
    for (const std::string& line : header) {
        if (drop_encoding && starts_with_nocase(line, encoding_field)) continue;
        kept.push_back(line);
        if (text_type) continue;
        bool type_line = starts_with_nocase(line, content_type_field);
        if (!type_line && !starts_with_nocase(line, disposition_field)) continue;
        decode_part_header_line(kept.back(), !type_line);
        neutralize_ctrl_z(kept.back());
    }
    return kept;
}

// Whether the body of a part of this type changes when it is stored.
bool body_changes(const part_values& values, bool text_type) {
    if (!text_type) return false;
    if (is_encoding(values, "quoted-printable")) return true;
    return is_encoding(values, "7bit") && !equals_nocase(values.type, "text/html");
}

std::string stored_body(const part_values& values, std::string_view body) {
    if (is_encoding(values, "quoted-printable")) return qp_decode_body(body);
    return jis_lines_to_sjis(body);
}

// A text/plain part after the first one that carries a file name is an
// attached text file: its header lines go, as for every text part, but its
// name stays, in the line that renaming a part writes.
std::string attachment_name_line(const std::vector<std::string>& header, const part_values& values, int part) {
    if (part < 2) return {};
    std::optional<std::string> name = part_file_name(kept_header(header, values, false));
    if (!name || name->empty()) return {};
    return std::string(disposition_field) + ": attachment; filename=\"" + *name + "\"\n";
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

}  // namespace

bool decode_part(std::string_view base_path, int part) {
    std::string path = part_file(base_path, part);
    text_reader reader(path);
    if (!reader.is_open()) return false;
    part_text text;
    if (!read_part_head(reader, text)) return false;
    std::optional<part_values> values = read_part_values(text.header);
    if (!values) return true;

    bool text_type = starts_with_nocase(values->type, "text/");
    std::string head = joined(text.header);
    std::string blank = text.has_blank_line ? "\n" : "";
    std::string new_head;
    bool body_changed = true;
    if (equals_nocase(values->type, "text/plain")) {
        new_head = attachment_name_line(text.header, *values, part) + blank;
    } else {
        new_head = joined(kept_header(text.header, *values, text_type)) + blank;
        body_changed = body_changes(*values, text_type);
        // A part that stays as it is is not written again (an attachment
        // can be large).
        if (!body_changed && new_head == head + blank) return true;
    }

    std::string body = reader.read_rest();
    if (reader.failed()) return false;
    reader.close();
    if (equals_nocase(values->type, "text/plain")) body = plain_text_body(path, *values, body);
    else if (body_changed) body = stored_body(*values, body);
    return rewrite_through_companion(path, [&](text_writer& out) { return out.write(new_head) && out.write(body); });
}

bool decode_part_body(std::string_view base_path, int part, std::string_view output_path) {
    std::string path = part_file(base_path, part);
    text_reader reader(path);
    if (!reader.is_open()) return false;
    part_text text;
    if (!read_part_head(reader, text)) return false;
    std::optional<std::string> encoding = part_header_value(text.header, encoding_field, token_capacity, default_encoding);
    if (!encoding) return false;
    if (equals_nocase(*encoding, "base64")) {
        reader.close();
        return base64_decode_part_file(output_path, path);
    }
    bool quoted_printable = equals_nocase(*encoding, "quoted-printable");
    bool as_stored = equals_nocase(*encoding, "7bit") || equals_nocase(*encoding, "8bit") ||
                     equals_nocase(*encoding, "binary");
    if (!quoted_printable && !as_stored) return false;
    std::string body = reader.read_rest();
    if (reader.failed()) return false;
    return write_text_file(output_path, quoted_printable ? qp_decode_body(body) : body);
}

}  // namespace qm
