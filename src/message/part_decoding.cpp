#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "message/body_charset.h"
#include "message/header_fields.h"
#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "message/part_file.h"
#include "message/stored_part.h"
#include "platform/one_step_write.h"
#include "text/base64.h"
#include "text/charset_conversion.h"
#include "text/display_text.h"
#include "text/encoded_words.h"
#include "base/find_nocase.h"
#include "text/quoted_printable.h"
#include "text/sjis_jis.h"
#include "text/utf8_sjis.h"
#include "text/utf8_text.h"

namespace qm {

namespace {

constexpr std::string_view content_type_field = "Content-Type";
constexpr std::string_view encoding_field = "Content-Transfer-Encoding";
constexpr std::string_view disposition_field = "Content-Disposition";
constexpr std::string_view default_charset = "ISO-2022-JP";
constexpr std::string_view default_encoding = "7bit";
// Room for a charset name or a transfer encoding: at most 127 characters.
constexpr std::size_t token_capacity = 128;

// What the part's header says about it. Parts whose type, charset or
// encoding cannot be read are stored as they came.
struct part_values {
    std::string type;
    std::string charset;
    bool charset_given = false;  // the charset is the header's, not the default
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
            values.charset_given = true;
        }
        break;
    }
    std::optional<std::string> encoding = part_header_value(header, encoding_field, token_capacity, default_encoding);
    if (!encoding) return std::nullopt;
    values.encoding = std::move(*encoding);
    return values;
}

bool is_encoding(const part_values& values, std::string_view name) { return equals_nocase(values.encoding, name); }
bool is_unchanged_encoding(const part_values& values) {
    return is_encoding(values, "7bit") || is_encoding(values, "8bit") || is_encoding(values, "binary");
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

// LF turned into CR LF, as the text stands in the part file on disk.
std::string as_file_lines(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 32);
    for (char c : text) {
        if (c == '\n') bytes.push_back('\r');
        bytes.push_back(c);
    }
    return bytes;
}

// A body without a charset that is raw 8-bit UTF-8 is UTF-8 (RFC 6532 mail),
// not the ISO-2022-JP that the default names.
body_charset charset_of(const part_values& values, std::string_view bytes) {
    body_charset kind = classify_charset(values.charset);
    if (!values.charset_given && kind == body_charset::iso2022jp && is_8bit_utf8(bytes)) return body_charset::utf8;
    return kind;
}

// The body of a text/plain part in CP932. Transfer encodings and charsets
// this program does not know keep the body as it came.
std::string plain_text_body(const part_values& values, std::string_view body) {
    if (is_encoding(values, "base64")) {
        if (classify_charset(values.charset) == body_charset::unknown) return std::string(body);
        std::string bytes;
        if (!base64_decode_body(body, bytes)) return std::string(body);
        return as_text_lines(body_to_cp932(charset_of(values, bytes), values.charset, bytes));
    }
    if (is_encoding(values, "quoted-printable")) {
        std::string bytes = qp_decode_text(body);
        body_charset kind = charset_of(values, bytes);
        if (kind == body_charset::unknown) return jis_lines_to_sjis(bytes);
        return body_to_cp932(kind, values.charset, bytes);
    }
    if (is_unchanged_encoding(values)) {
        body_charset kind = charset_of(values, body);
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

// body_to_cp932 into UTF-8, keeping what CP932 lacks.
std::string body_to_unicode(body_charset kind, std::string_view charset, std::string_view bytes) {
    switch (kind) {
    case body_charset::iso2022jp: {
        std::string text(bytes);
        jis_to_sjis(text);
        return display_utf8(text);
    }
    case body_charset::utf8:
        return sanitized_utf8(bytes);
    case body_charset::other:
        if (std::optional<std::string> text = convert_to_utf8(charset, bytes)) return std::move(*text);
        break;
    case body_charset::sjis:
    case body_charset::unknown:
        break;
    }
    return display_utf8(bytes);
}

// plain_text_body in UTF-8: the same steps, ending in Unicode, not CP932.
std::string plain_text_body_unicode(const part_values& values, std::string_view body) {
    if (is_encoding(values, "base64")) {
        if (classify_charset(values.charset) == body_charset::unknown) return std::string(body);
        std::string bytes;
        if (!base64_decode_body(body, bytes)) return std::string(body);
        return as_text_lines(body_to_unicode(charset_of(values, bytes), values.charset, bytes));
    }
    if (is_encoding(values, "quoted-printable")) {
        std::string bytes = qp_decode_text(body);
        body_charset kind = charset_of(values, bytes);
        if (kind == body_charset::unknown) return display_utf8(jis_lines_to_sjis(bytes));
        return body_to_unicode(kind, values.charset, bytes);
    }
    if (is_unchanged_encoding(values)) {
        body_charset kind = charset_of(values, body);
        if (kind == body_charset::iso2022jp || kind == body_charset::unknown) return display_utf8(jis_lines_to_sjis(body));
        return body_to_unicode(kind, values.charset, body);
    }
    return display_utf8(body);
}

// The header lines a readable or kept part keeps: the transfer encoding goes
// where the body no longer needs it; the type and disposition lines of a
// kept part get their encoded words and file name decoded.
std::vector<std::string> kept_header(const std::vector<std::string>& header, const part_values& values,
                                     bool readable) {
    bool drop_encoding = is_encoding(values, "7bit") || (readable && is_encoding(values, "quoted-printable"));
    std::vector<std::string> kept;
    kept.reserve(header.size());
    for (const std::string& line : header) {
        if (drop_encoding && starts_with_nocase(line, encoding_field)) continue;
        kept.push_back(line);
        if (readable) continue;
        bool type_line = starts_with_nocase(line, content_type_field);
        if (!type_line && !starts_with_nocase(line, disposition_field)) continue;
        decode_part_header_line(kept.back(), !type_line);
        neutralize_ctrl_z(kept.back());
    }
    return kept;
}

// The body of a readable part: quoted-printable decoded; ISO-2022-JP text in
// 7bit turned into CP932, but for HTML, which names its own charset.
std::string readable_body(const part_values& values, std::string_view body) {
    if (is_encoding(values, "quoted-printable")) return qp_decode_text(body);
    if (is_encoding(values, "7bit") && !equals_nocase(values.type, "text/html")) return jis_lines_to_sjis(body);
    return std::string(body);
}

// A Ctrl-Z is data in received mail, but it would end the text part for
// every reader that reads it in text mode: there it becomes a blank.
std::string without_ctrl_z(std::string text) {
    neutralize_ctrl_z(text);
    return text;
}

// A part file held in memory: its header lines up to the blank line and the
// body after it.
struct part_text {
    std::vector<std::string> header;
    std::string_view body;
};

part_text split_part_text(std::string_view text) {
    part_text part;
    line_splitter lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (is_blank_line(line)) {
            part.body = lines.rest();
            break;
        }
        part.header.emplace_back(line);
    }
    return part;
}

}  // namespace

part_kind kind_of(const part_source& part) {
    part_kind kind;
    std::optional<std::string> type = part_header_value(part.header, content_type_field, content_type_capacity, "text/plain");
    if (type) kind.type = std::move(*type);
    std::optional<part_values> values = read_part_values(part.header);
    if (!values) return kind;
    std::vector<std::string> decoded = kept_header(part.header, *values, false);
    std::optional<std::string> name = part_file_name(decoded);
    std::optional<std::string> disposition = part_header_value(decoded, disposition_field, token_capacity, "");
    kind.attachment = (name && !name->empty()) || (disposition && equals_nocase(*disposition, "attachment"));
    return kind;
}

std::string stored_part(const part_source& part, part_role role) {
    const std::string blank = part.has_blank_line ? "\n" : "";
    std::optional<part_values> values = read_part_values(part.header);
    if (!values) return joined_lines(part.header) + blank + std::string(part.body);
    switch (role) {
    case part_role::text:
        return blank + without_ctrl_z(plain_text_body(*values, part.body));
    case part_role::readable:
        return joined_lines(kept_header(part.header, *values, true)) + blank + readable_body(*values, part.body);
    case part_role::kept:
        break;
    }
    std::string_view body = part.body;
    // Base64 does not mind the line end; every other body would be given
    // back with one line end too many.
    if (part.in_multipart && !is_encoding(*values, "base64") && body.ends_with('\n')) body.remove_suffix(1);
    // Made in one piece: a large attachment is held once, not twice.
    std::string stored = joined_lines(kept_header(part.header, *values, false));
    stored.reserve(stored.size() + blank.size() + body.size());
    stored.append(blank).append(body);
    return stored;
}

std::string stored_text_unicode(const part_source& part) {
    const std::string blank = part.has_blank_line ? "\n" : "";
    std::optional<part_values> values = read_part_values(part.header);
    if (!values) return display_utf8(joined_lines(part.header) + blank + std::string(part.body));
    std::string text = blank + plain_text_body_unicode(*values, part.body);
    std::replace(text.begin(), text.end(), '\x1a', ' ');
    return text;
}

std::optional<stored_body> read_stored_body(std::string_view base_path, int part) {
    std::string text;
    if (!read_message_text(part_file(base_path, part), text)) return std::nullopt;
    stored_body result;
    part_text source = split_part_text(text);
    if (source.header.empty()) {
        result.type = "text/plain";
        result.headerless = true;
        result.bytes.assign(source.body);
        return result;
    }
    std::optional<part_values> values = read_part_values(source.header);
    if (!values) return std::nullopt;
    result.type = values->type;
    if (values->charset_given) result.charset = values->charset;
    result.attachment = kind_of(part_source{source.header, true, source.body, false}).attachment;
    if (is_encoding(*values, "base64")) {
        if (!base64_decode_body(source.body, result.bytes)) result.bytes.assign(source.body);
    } else if (is_encoding(*values, "quoted-printable")) {
        result.bytes = qp_decode_text(source.body);
    } else {
        result.bytes.assign(source.body);
    }
    return result;
}

bool decode_part_body(std::string_view base_path, int part, std::string_view output_path, bool replace) {
    std::string text;
    if (!read_message_text(part_file(base_path, part), text)) return false;
    part_text source = split_part_text(text);
    std::optional<std::string> encoding = part_header_value(source.header, encoding_field, token_capacity, default_encoding);
    if (!encoding) return false;
    std::string bytes;
    if (equals_nocase(*encoding, "base64")) {
        if (!base64_decode_body(source.body, bytes)) return false;
    } else if (equals_nocase(*encoding, "quoted-printable")) {
        bytes = qp_decode_text(source.body, "\r\n");
    } else if (equals_nocase(*encoding, "7bit") || equals_nocase(*encoding, "8bit") ||
               equals_nocase(*encoding, "binary")) {
        bytes = as_file_lines(source.body);
    } else {
        return false;
    }
    return write_file_in_one_step(output_path, bytes, replace);
}

std::optional<std::string> part_text_to_view(std::string_view base_path, int part) {
    std::string text;
    if (!read_message_text(part_file(base_path, part), text)) return std::nullopt;
    part_text source = split_part_text(text);
    if (source.header.empty()) return std::nullopt;
    std::optional<part_values> values = read_part_values(source.header);
    if (!values || !starts_with_nocase(values->type, "text/")) return std::nullopt;
    std::string body;
    if (!equals_nocase(values->type, "text/html")) {
        body = plain_text_body(*values, source.body);
    } else if (is_encoding(*values, "base64") && base64_decode_body(source.body, body)) {
        body = as_text_lines(body);
    } else {
        body = readable_body(*values, source.body);
    }
    return joined_lines(source.header) + "\n" + body;
}

}  // namespace qm
