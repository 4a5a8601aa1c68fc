#include "message/mime_writer.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "message/draft_header.h"
#include "message/flowed_text.h"
#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "text/ascii_text.h"
#include "text/base64.h"
#include "text/encoded_words.h"
#include "base/find_nocase.h"
#include "base/format.h"
#include "base/multibyte.h"
#include "text/percent_encoding.h"
#include "text/sjis_jis.h"

namespace qm {

namespace {

constexpr std::string_view multipart_head =
    "Content-Type: multipart/mixed; boundary=\"=_mime_multipart_boundary\"\n"
    "\n"
    "This is a multi-part message in MIME format.\n";
constexpr std::string_view boundary_line = "--=_mime_multipart_boundary\n";
constexpr std::string_view closing_boundary_line = "--=_mime_multipart_boundary--\n";
constexpr const char* text_part_head = "Content-Type: text/plain; charset=%s%s\nContent-Transfer-Encoding: 7bit\n";
constexpr const char* ascii_charset = "US-ASCII";
constexpr const char* japanese_charset = "ISO-2022-JP";
constexpr std::string_view attachment_head =
    "Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n";
constexpr std::string_view disposition_start = "Content-Disposition: attachment; filename=\"";
constexpr std::string_view disposition_field = "Content-Disposition";
constexpr std::string_view filename_key = "filename=";
constexpr std::string_view extended_value_start = "*=";
constexpr std::string_view name_charset = "iso-2022-jp'ja'";

// Attachments are read in blocks of whole Base64 lines.
constexpr std::size_t attachment_read_block = base64_line_bytes * 1024;

constexpr int first_attachment_part = 2;

std::string part_path(std::string_view base_path, int part) { return std::string(base_path) + std::to_string(part); }

void remove_path(std::string_view path) {
    std::string disk = disk_path(path);
    if (!disk.empty()) ::unlink(disk.c_str());
}

// A carriage return that no line feed follows ends a line like one; before
// a line feed it is dropped (text mode writes the line feed as CR LF). So no
// bare CR, which SMTP servers read in different ways, ever goes out.
std::string without_bare_cr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] != '\r') out += text[pos];
        else if (pos + 1 == text.size() || text[pos + 1] != '\n') out += '\n';
    }
    return out;
}

// Text-mode output that knows whether its last line has ended, so that a
// boundary line never lands behind text on the same line.
class wire_output {
public:
    explicit wire_output(text_writer& writer) : writer_(writer) {}

    bool write(std::string_view text) {
        if (text.empty()) return ok_;
        if (text.find('\r') != std::string_view::npos) return write(without_bare_cr(text));
        line_ended_ = text.back() == '\n';
        ok_ = writer_.write(text) && ok_;
        return ok_;
    }
    bool end_line() { return line_ended_ ? ok_ : write("\n"); }

private:
    text_writer& writer_;
    bool ok_ = true;
    bool line_ended_ = true;
};

// Writes the file through a companion beside it that takes its name only
// when `fill` and every write succeeded. With `remove_on_failure` a failure
// also removes a file that was at the path before (the output is then
// simply absent); without it such a file keeps its contents.
bool write_whole_file(std::string_view path, bool remove_on_failure,
                      const std::function<bool(wire_output&)>& fill) {
    std::string temporary = companion_path(path);
    if (temporary == path) temporary += '$';
    text_writer writer;
    bool ok = writer.open(temporary);
    if (ok) {
        wire_output out(writer);
        ok = fill(out);
        ok = writer.close() && ok;
    }
    // replace_with_companion removes the companion itself when it fails.
    if (ok && replace_with_companion(path, temporary)) return true;
    remove_path(temporary);
    if (remove_on_failure) remove_path(path);
    return false;
}

// Room for any conversion: escapes and half-width katakana can make the
// JIS form up to four times as long as the text.
std::size_t jis_room(std::string_view sjis) { return 4 * sjis.size() + 8; }
constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();

// One header line for the wire: ISO-2022-JP with its Japanese runs as
// encoded words, folded so that no line passes the wire's limit.
bool encode_line(std::string& encoded, std::string_view sjis_line) {
    std::string jis;
    return sjis_to_jis(jis, jis_room(sjis_line), sjis_line) && encode_header_line(encoded, unlimited, jis);
}

bool write_header_lines(wire_output& out, std::string_view base_path) {
    std::string header, encoded;
    if (!read_text_file(part_path(base_path, 0), header)) return false;
    for (std::string_view line : draft_lines(header)) {
        if (line.empty()) continue;
        if (!encode_line(encoded, std::string(line) + "\n") || !out.write(encoded)) return false;
    }
    return out.end_line();
}

// The body lines in their 7-bit form: as they are, or in ISO-2022-JP.
std::optional<std::vector<std::string>> wire_body_lines(const std::vector<std::string_view>& lines, bool ascii) {
    std::vector<std::string> wire(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (ascii) wire[i] = lines[i];
        else if (!sjis_to_jis(wire[i], jis_room(lines[i]), lines[i])) return std::nullopt;
    }
    return wire;
}

bool write_text_lines(wire_output& out, std::string_view base_path) {
    std::string body;
    if (!read_text_file(part_path(base_path, 1), body)) return false;
    const bool ascii = is_ascii_text(body);
    const std::vector<std::string_view> lines = draft_lines(body);
    std::optional<std::vector<std::string>> wire = wire_body_lines(lines, ascii);
    if (!wire) return false;
    // Only a part with a line too long for the wire is flowed: every other
    // one goes exactly as it always has.
    const bool flowed = std::any_of(wire->begin(), wire->end(),
                                    [](const std::string& line) { return line.size() > wire_line_limit; });
    if (!out.write(string_printf(text_part_head, ascii ? ascii_charset : japanese_charset,
                                 flowed ? std::string(flowed_parameters).c_str() : "")))
        return false;
    // The body's first line is the blank line that ends the part header; a
    // body that lacks it must not run into the header.
    if ((lines.empty() || !lines[0].empty()) && !out.write("\n")) return false;
    std::string text;
    for (const std::string& line : *wire) {
        if (!flowed) {
            text = line + "\n";
            if (!out.write(text)) return false;
            continue;
        }
        for (const std::string& piece : flowed_lines(line)) {
            text = piece + "\n";
            if (!out.write(text)) return false;
        }
    }
    return out.end_line();
}

// The RFC 2231 form of a CP932 name: ISO-2022-JP, percent-encoded.
std::optional<std::string> extended_name(std::string_view name) {
    const std::size_t room = jis_room(name);
    std::string jis, escaped;
    if (!sjis_to_jis(jis, room, name) || !percent_encode(escaped, 3 * room, jis)) return std::nullopt;
    return escaped;
}

// The name split into numbered sections on folded lines of at most
// parameter_section_width characters (";" included). Readers may decode
// each section on its own, so every section is whole ISO-2022-JP: it
// starts in ASCII, and its kanji run is closed before the section ends.
std::optional<std::vector<std::string>> continuation_sections(std::string_view name) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (int section = 0; pos < name.size(); ++section) {
        std::string start = " filename*" + std::to_string(section) + "*=";
        if (section == 0) start += name_charset;
        const std::size_t room = parameter_section_width - start.size() - 1;
        std::string value;
        std::size_t end = pos;
        while (end < name.size()) {
            std::size_t next = end + char_length(name, end);
            std::optional<std::string> longer = extended_name(name.substr(pos, next - pos));
            if (!longer) return std::nullopt;
            if (longer->size() > room && end > pos) break;
            value = std::move(*longer);
            end = next;
        }
        lines.push_back(start + value);
        pos = end;
    }
    return lines;
}

std::string trim_blanks(std::string_view text) {
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    std::size_t end = text.find_last_not_of(" \t");
    return std::string(text.substr(start, end - start + 1));
}

bool fits_part_header_line(std::string_view line) { return line.size() + 1 <= part_header_line_limit; }

// The Content-Disposition line with its non-ASCII file name as an RFC 2231
// value, as one or more lines (each ended); nullopt when it cannot be done.
std::optional<std::string> rewrite_disposition(const std::string& line) {
    std::size_t key = find_nocase(line, filename_key, disposition_field.size());
    if (key == std::string::npos) {
        // No name to rewrite: the line's Japanese text goes as encoded words.
        std::string encoded;
        if (!encode_line(encoded, line + "\n")) return std::nullopt;
        return encoded;
    }
    const std::size_t equals = key + filename_key.size() - 1;
    std::size_t name_start = equals + 1, name_end, rest_start;
    if (name_start < line.size() && line[name_start] == '"') {
        ++name_start;
        name_end = std::min(line.find('"', name_start), line.size());
        rest_start = std::min(name_end + 1, line.size());
    } else {
        name_end = std::min(line.find(';', name_start), line.size());
        rest_start = name_end;
    }
    std::string_view name = std::string_view(line).substr(name_start, name_end - name_start);
    std::optional<std::string> escaped = extended_name(name);
    if (!escaped) return std::nullopt;
    const std::string rest = line.substr(rest_start);
    std::string single = line.substr(0, equals) + std::string(extended_value_start) + std::string(name_charset) +
                         *escaped + rest;
    if (fits_part_header_line(single)) return single + "\n";

    // Too long for one line: continuation sections, each on its own line.
    std::string head = line.substr(0, key);
    while (!head.empty() && (head.back() == ' ' || head.back() == '\t')) head.pop_back();
    if (!head.empty() && head.back() != ';' && head.back() != ':') head += ';';
    std::optional<std::vector<std::string>> sections = continuation_sections(name);
    if (!sections) return std::nullopt;
    std::vector<std::string> lines{head};
    for (std::string& section : *sections) lines.push_back(std::move(section));
    std::string other_parameters = trim_blanks(rest);
    if (!other_parameters.empty() && other_parameters[0] == ';') other_parameters = trim_blanks(other_parameters.substr(1));
    if (!other_parameters.empty()) lines.push_back(" " + other_parameters);
    std::string result;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!fits_part_header_line(lines[i])) return std::nullopt;
        result += lines[i];
        // The parameters after a section continue the list.
        if (i > 0 && i + 1 < lines.size()) result += ';';
        result += '\n';
    }
    return result;
}

bool write_attachment_lines(wire_output& out, std::string_view base_path, int part) {
    text_reader in(part_path(base_path, part));
    if (!in.is_open()) return false;
    std::string line;
    bool in_header = true;
    while (in_header && in.read_line(line)) {
        if (line.empty()) in_header = false;
        if (in_header && starts_with_nocase(line, disposition_field) &&
            !is_ascii_text(std::string_view(line).substr(disposition_field.size()))) {
            std::optional<std::string> rewritten = rewrite_disposition(line);
            if (!rewritten || !out.write(*rewritten)) return false;
            continue;
        }
        line += '\n';
        if (!out.write(line)) return false;
    }
    // The body (Base64 lines) goes as it is.
    return out.write(in.read_rest()) && !in.failed() && out.end_line();
}

// The name an attachment is sent under: the last component of its path.
std::string attachment_name(std::string_view source_path) {
    std::size_t slash = source_path.find_last_of('/');
    std::size_t backslash = mbs_find_last_char(source_path, '\\');
    std::size_t cut = 0;
    if (slash != std::string_view::npos) cut = slash + 1;
    if (backslash != std::string_view::npos) cut = std::max(cut, backslash + 1);
    return std::string(source_path.substr(cut));
}

// A name that can stand in double quotes on one part header line.
bool is_sendable_name(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '"') return false;
    }
    return fits_part_header_line(std::string(disposition_start) + std::string(name) + "\"");
}

bool write_base64_lines(wire_output& out, std::string_view source_path) {
    file_handle in = open_file(source_path, "rb");
    if (!in) return false;
    std::string block(attachment_read_block, '\0');
    std::string lines;
    std::size_t total = 0, got;
    while ((got = std::fread(block.data(), 1, block.size(), in.get())) > 0) {
        total += got;
        lines.clear();
        for (std::size_t pos = 0; pos < got; pos += base64_line_bytes) {
            lines += base64_encode_text(std::string_view(block).substr(pos, std::min(base64_line_bytes, got - pos)));
            lines += '\n';
        }
        if (!out.write(lines)) return false;
        // fread gives a short block only at the end of the file (or on an
        // error), so every line but the last holds 57 bytes.
        if (got < block.size()) break;
    }
    return !std::ferror(in.get()) && total > 0;
}

}  // namespace

bool compose_message(std::string_view base_path, std::string_view outbox_path, std::string_view mailer) {
    // The parts go straight into the outbox file, one pass over each draft
    // file; nothing is staged in temporary files.
    return write_whole_file(outbox_path, true, [&](wire_output& out) {
        if (!write_header_lines(out, base_path) ||
            !out.write("X-Mailer: " + std::string(mailer) + "\nMIME-Version: 1.0\n"))
            return false;
        const bool multipart = path_exists(part_path(base_path, first_attachment_part));
        if (multipart && !(out.write(multipart_head) && out.write(boundary_line))) return false;
        if (!write_text_lines(out, base_path)) return false;
        if (!multipart) return true;
        for (int part = first_attachment_part; path_exists(part_path(base_path, part)); ++part) {
            if (!out.end_line() || !out.write(boundary_line) || !write_attachment_lines(out, base_path, part))
                return false;
        }
        return out.end_line() && out.write(closing_boundary_line);
    });
}

bool encode_attachment(std::string_view source_path, std::string_view base_path, int part) {
    if (part < first_attachment_part || file_size(source_path) < 1) return false;
    const std::string name = attachment_name(source_path);
    if (!is_sendable_name(name)) return false;
    return write_whole_file(part_path(base_path, part), false, [&](wire_output& out) {
        return out.write(attachment_head) && out.write(std::string(disposition_start) + name + "\"\n\n") &&
               write_base64_lines(out, source_path);
    });
}

}  // namespace qm
