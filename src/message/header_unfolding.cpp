#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "message/header_fields.h"
#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "base/find_nocase.h"
#include "text/address_nesting.h"

namespace qm {

namespace {

bool is_address_field(std::string_view line) {
    for (std::string_view field : address_field_names) {
        if (starts_with_nocase(line, field)) return true;
    }
    return false;
}

// Whether a field's text so far ends inside an address: not after the comma
// that ends one, or with a quote, comment or angle bracket still open (a
// comma inside a quoted name ends nothing). The nesting is followed as the
// text grows, so that a field joined from many lines is read once, not once
// for every line joined to it.
class address_scan {
public:
    void restart() { *this = address_scan{}; }

    void take(std::string_view text) {
        for (char c : text) {
            if (c == ' ' || c == '\t' || c == '\n') continue;
            nesting_.take(c);
            last_ = c;
        }
    }

    bool inside_address() const { return last_ != ',' || nesting_.open(); }

private:
    address_nesting nesting_;
    char last_ = 0;  // the last character that is not a blank or a line feed
};

bool ends_with_encoded_word(std::string_view text) {
    std::size_t last = text.find_last_not_of(" \t");
    return last != std::string_view::npos && last >= 1 && text.substr(last - 1, 2) == "?=";
}

// The kind of field the lines being read belong to.
struct field_kind {
    bool address = false;
    bool subject = false;
    bool content = false;
    address_scan last_address_line;  // the address line written last, joined or not

    void start(std::string_view line) {
        address = is_address_field(line);
        subject = starts_with_nocase(line, "Subject");
        content = starts_with_nocase(line, "Content-");
    }
    void clear() { *this = field_kind{}; }
    bool joins() const { return subject || content || (address && last_address_line.inside_address()); }
};

}  // namespace

// Unfolds in place: the text written so far, text[0, written), never
// reaches what is still to be read (a join drops a line feed and at least
// one blank and adds at most one blank), so a message is never held twice.
bool unfold_header_text(std::string& text) {
    std::size_t written = 0;
    auto put = [&](std::string_view piece) {
        std::memmove(text.data() + written, piece.data(), piece.size());
        written += piece.size();
    };
    auto out = [&] { return std::string_view(text.data(), written); };
    bool joined = false;
    bool in_header = true;
    std::string boundary;
    field_kind kind;

    line_splitter lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (!boundary.empty() && line.starts_with(boundary)) in_header = true;
        if (!in_header) {
            put(line);
            continue;
        }
        if (is_blank_line(line)) {
            in_header = false;
            kind.clear();
            put(line);
            continue;
        }
        if (boundary.empty()) boundary = boundary_delimiter(line);

        // Each line is read (take) before it is moved: the move may
        // overwrite where it came from.
        if (!is_continuation_line(line)) {
            kind.start(line);
            kind.last_address_line.restart();
            kind.last_address_line.take(line);
            put(line);
        } else if (kind.joins() && written > 0 && text[written - 1] == '\n') {
            --written;
            std::string_view rest = line.substr(skip_chars(line, 0, " \t"));
            kind.last_address_line.take(rest);
            // Folded encoded words meet directly, as they were one word;
            // any other fold keeps one blank between the words it parts.
            if (!(kind.subject && ends_with_encoded_word(out()) && rest.starts_with("=?"))) text[written++] = ' ';
            put(rest);
            joined = true;
        } else {
            // A line of blanks leaves the address line before it the last one.
            if (skip_chars(line, 0, " \t\n") < line.size()) {
                kind.last_address_line.restart();
                kind.last_address_line.take(line);
            }
            put(line);
        }
    }
    text.resize(written);
    return joined;
}

}  // namespace qm
