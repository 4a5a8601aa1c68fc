#include <array>
#include <string>

#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "base/find_nocase.h"
#include "text/mail_address.h"

namespace qm {

namespace {

constexpr std::array<std::string_view, 5> address_fields{"From", "Sender", "Reply-To", "To", "Cc"};

bool is_address_field(std::string_view line) {
    for (std::string_view field : address_fields) {
        if (starts_with_nocase(line, field)) return true;
    }
    return false;
}

// Whether the last line of the text ends inside an address: not after the
// comma that ends one, or with a quote, comment or angle bracket still open
// (a comma inside a quoted name ends nothing).
bool ends_inside_address(std::string_view text) {
    std::size_t last = text.find_last_not_of(" \t\n");
    if (last == std::string_view::npos) return true;
    if (text[last] != ',') return true;
    std::size_t line_start = text.find_last_of('\n', last);
    std::string_view line = text.substr(line_start == std::string_view::npos ? 0 : line_start + 1);
    for (std::size_t pos = 0;;) {
        std::size_t end = find_address_end(line, pos);
        if (end == std::string_view::npos) return true;
        if (end >= line.size() || line[end] != ',') return false;
        pos = end + 1;
    }
}

bool ends_with_encoded_word(std::string_view text) {
    std::size_t last = text.find_last_not_of(" \t");
    return last != std::string_view::npos && last >= 1 && text.substr(last - 1, 2) == "?=";
}

// The kind of field the lines being read belong to.
struct field_kind {
    bool address = false;
    bool address_open = false;  // the address line read last ends inside an address
    bool subject = false;
    bool content = false;

    void start(std::string_view line) {
        address = is_address_field(line);
        if (address) address_open = false;
        subject = starts_with_nocase(line, "Subject");
        content = starts_with_nocase(line, "Content-");
    }
    void clear() { *this = field_kind{}; }
    bool joins() const { return subject || content || (address && address_open); }
};

}  // namespace

bool unfold_header_file(std::string_view path) {
    std::string text;
    if (!read_text_file(path, text)) return false;
    std::string out;
    out.reserve(text.size());
    bool joined = false;
    bool in_header = true;
    std::string boundary;
    field_kind kind;

    line_splitter lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (!boundary.empty() && line.starts_with(boundary)) in_header = true;
        if (!in_header) {
            out += line;
            continue;
        }
        if (is_blank_line(line)) {
            in_header = false;
            kind.clear();
            out += line;
            continue;
        }
        if (boundary.empty()) boundary = boundary_delimiter(line);

        if (!is_continuation_line(line)) {
            kind.start(line);
            out += line;
        } else if (kind.joins() && !out.empty() && out.back() == '\n') {
            out.pop_back();
            std::string_view rest = line.substr(skip_chars(line, 0, " \t"));
            // Folded encoded words meet directly, as they were one word;
            // any other fold keeps one blank between the words it parts.
            if (!(kind.subject && ends_with_encoded_word(out) && rest.starts_with("=?"))) out += ' ';
            out += rest;
            joined = true;
        } else {
            out += line;
        }
        if (kind.address) kind.address_open = ends_inside_address(out);
    }
    if (!joined) return true;
    return rewrite_text(path, out);
}

}  // namespace qm
