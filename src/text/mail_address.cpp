#include "text/mail_address.h"

#include <algorithm>

#include "platform/text_file.h"
#include "text/address_nesting.h"
#include "base/find_nocase.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr auto npos = std::string_view::npos;

constexpr std::string_view atom_signs = "!#$%&'*+-./=?@^_`{|}~";
constexpr std::string_view address_forbidden_chars = " \"(),:;<>[\\]";

// The longest prefix of `text` that fits into capacity - 1 bytes without
// cutting a double-byte character in half.
std::string_view fit_into(std::string_view text, std::size_t capacity) {
    if (capacity == 0) return {};
    std::size_t room = capacity - 1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t length = char_length(text, pos);
        if (pos + length > room) break;
        pos += length;
    }
    return text.substr(0, pos);
}

std::string_view without_trailing_spaces(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// The text of the item's first comment, up to its ")" or the item's end.
std::string_view comment_text(std::string_view item) {
    std::size_t open = item.find('(');
    if (open == npos) return {};
    std::size_t close = item.find(')', open + 1);
    return item.substr(open + 1, close == npos ? npos : close - open - 1);
}

// Where the phrase before an angle-bracket address ends: the first "<" or
// double quote at or after `from`.
std::size_t phrase_end(std::string_view item, std::size_t from) {
    for (std::size_t pos = from; pos < item.size(); pos += char_length(item, pos)) {
        if (item[pos] == '<' || item[pos] == '"') return pos;
    }
    return item.size();
}

// The name shown for an item: the phrase before "<" when it says anything,
// else the first comment.
std::string display_name_of(std::string_view item, std::string_view phrase, bool angle_form,
                            std::size_t capacity) {
    std::string_view name = without_trailing_spaces(phrase).empty() ? comment_text(item) : phrase;
    name = fit_into(name, capacity);
    if (angle_form) name = without_trailing_spaces(name);
    return std::string(name);
}

// The run of atom characters around the first "@" at or after `from` (a
// character boundary); the run may begin before `from`, never before the
// item. Characters are walked whole, so neither the "@" nor any part of the
// run is ever the second byte of a double-byte character.
std::string address_of(std::string_view item, std::size_t from, std::size_t capacity) {
    std::size_t run_start = 0;
    for (std::size_t pos = 0; pos < item.size();) {
        std::size_t length = char_length(item, pos);
        bool atom = length == 1 && is_atom_char(item[pos]);
        if (atom && item[pos] == '@' && pos >= from) {
            std::size_t run_end = run_start;
            while (run_end < item.size() && is_atom_char(item[run_end])) ++run_end;
            return std::string(fit_into(item.substr(run_start, run_end - run_start), capacity));
        }
        pos += length;
        if (!atom) run_start = pos;
    }
    return {};
}

// Hands out header text as the text reader hands out a message file: pieces
// of at most message_line_capacity - 1 bytes, each ending after a line feed
// or where a longer line is cut.
class piece_cursor {
public:
    explicit piece_cursor(std::string_view text) : text_(text) {}

    bool next(std::string_view& piece) {
        if (pos_ >= text_.size()) return false;
        std::string_view rest = text_.substr(pos_, message_line_capacity - 1);
        std::size_t line_feed = rest.find('\n');
        piece = rest.substr(0, line_feed == npos ? npos : line_feed + 1);
        pos_ += piece.size();
        continues_line_ = cut_;
        cut_ = piece.back() != '\n';
        return true;
    }

    // The blank line that ends a header; the line feed of a line that was
    // cut into pieces is not one.
    bool at_header_end(std::string_view piece) const { return piece == "\n" && !continues_line_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    bool cut_ = false;
    bool continues_line_ = false;
};

std::size_t skip_chars(std::string_view line, std::size_t pos, std::string_view chars) {
    while (pos < line.size() && chars.find(line[pos]) != npos) ++pos;
    return pos;
}

enum class line_result { next_line, found, malformed };

// Counts the addresses of one line of the field from `pos` on, until the
// one at `index` begins on this line (its position is left in `pos`).
line_result find_indexed_address(std::string_view line, std::size_t& pos, int& count, int index) {
    while (count < index) {
        std::size_t end = find_address_end(line, pos);
        if (end == npos) return line_result::malformed;
        // A field line whose addresses begin on the next line holds none.
        if (end == pos) return line_result::next_line;
        ++count;
        if (mbs_find_char(line, '@', end) == npos) return line_result::next_line;
        pos = skip_chars(line, end, ", \t");
    }
    return mbs_find_char(line, '@', pos) == npos ? line_result::next_line : line_result::found;
}


}  // namespace

bool is_atom_char(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return c != '\0' && atom_signs.find(c) != npos;
}

bool is_valid_address(std::string_view text) {
    std::size_t at = text.find('@');
    if (at == npos) return false;
    if (text.find_first_of(address_forbidden_chars) != npos) return false;
    if (text.find('@', at + 1) != npos) return false;
    if (text.find('.', at + 1) == npos) return false;
    return std::none_of(text.begin(), text.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f || byte >= 0x80;
    });
}

bool is_valid_display_name(std::string_view text) {
    return std::none_of(display_name_forbidden_chars.begin(), display_name_forbidden_chars.end(),
                        [text](char c) { return mbs_find_char(text, c) != npos; });
}

std::size_t find_address_end(std::string_view text, std::size_t pos) {
    if (pos > text.size()) return npos;
    // Walked byte by byte: a stray lead byte never swallows a delimiter or
    // the line feed.
    address_nesting nesting;
    for (; pos < text.size() && text[pos] != '\n'; ++pos) {
        if (text[pos] == ',' && !nesting.open()) return pos;
        nesting.take(text[pos]);
    }
    return nesting.open() ? npos : pos;
}

bool split_address(std::string_view text, std::string* name, std::size_t name_capacity,
                   std::string* address, std::size_t address_capacity) {
    if (name) name->clear();
    if (address) address->clear();
    std::size_t end = find_address_end(text, 0);
    if (end == npos) return false;
    std::string_view item = text.substr(0, end);

    std::size_t scan = !item.empty() && item[0] == '"' ? 1 : 0;
    std::string_view phrase;
    bool angle_form = item.find('<', scan) != npos;
    if (angle_form) {
        std::size_t stop = phrase_end(item, scan);
        phrase = item.substr(scan, stop - scan);
        scan = stop;
    }
    if (name) *name = display_name_of(item, phrase, angle_form, name_capacity);
    if (address) *address = address_of(item, scan, address_capacity);
    return true;
}

bool get_header_text_address(std::string_view header_text, std::string_view field, int index,
                             std::string& address, std::size_t address_capacity,
                             std::string& name, std::size_t name_capacity) {
    address.clear();
    name.clear();
    if (index < 0) return false;
    piece_cursor pieces(header_text);
    std::string_view line;
    bool in_field = false;
    int count = 0;
    while (pieces.next(line)) {
        if (pieces.at_header_end(line)) return false;
        std::size_t pos = 0;
        if (starts_with_nocase(line, field)) {
            in_field = true;
            pos = mbs_find_char(line, ':');
            if (pos == npos) return false;
            ++pos;
        } else if (!in_field || (line[0] != ' ' && line[0] != '\t')) {
            in_field = false;
            continue;
        }
        // A comma that leads a line separates; it begins no address.
        pos = skip_chars(line, pos, ", \t");
        switch (find_indexed_address(line, pos, count, index)) {
        case line_result::malformed:
            return false;
        case line_result::found:
            return split_address(line.substr(pos), &name, name_capacity, &address, address_capacity);
        case line_result::next_line:
            break;
        }
    }
    return false;
}

bool get_header_address(std::string_view path, std::string_view field, int index,
                        std::string& address, std::size_t address_capacity,
                        std::string& name, std::size_t name_capacity) {
    address.clear();
    name.clear();
    std::string header;
    return read_text_file(path, header) &&
           get_header_text_address(header, field, index, address, address_capacity, name, name_capacity);
}

}  // namespace qm
