#include "text/display_text.h"

#include <algorithm>

#include "base/multibyte.h"
#include "platform/cp932.h"
#include "platform/string_table.h"
#include "text/cp932_tables.h"
#include "text/utf8_text.h"

namespace qm {

namespace {

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::size_t npos = std::string_view::npos;

// A text that fails to convert is split in halves until the failing pieces
// are this short, and only those are converted character by character: a
// long text with a few bad bytes costs a few conversions more, not one a
// character.
constexpr std::size_t piece_floor = 16;

unsigned char byte_at(std::string_view text, std::size_t pos) { return static_cast<unsigned char>(text[pos]); }

// The first character boundary at or after `near`, stepping from the start.
template <typename Step>
std::size_t boundary_after(std::string_view text, std::size_t near, Step step) {
    std::size_t pos = 0;
    while (pos < near) pos += step(text, pos);
    return pos;
}

void append_by_character(std::string_view text, std::string& out) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = char_length(text, pos);
        if (auto converted = cp932_to_utf8(text.substr(pos, length))) {
            out += *converted;
            pos += length;
            continue;
        }
        out += replacement_character;
        const bool ascii_follows = length == 2 && byte_at(text, pos + 1) < 0x80;
        pos += ascii_follows ? 1 : length;
    }
}

void append_display(std::string_view text, std::string& out) {
    if (auto converted = cp932_to_utf8(text)) {
        out += *converted;
        return;
    }
    if (text.size() <= piece_floor) {
        append_by_character(text, out);
        return;
    }
    const std::size_t middle = boundary_after(text, text.size() / 2, char_length);
    append_display(text.substr(0, middle), out);
    append_display(text.substr(middle), out);
}

std::size_t first_refused_character(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8_length(text, pos);
        if (length == 0 || !utf8_to_cp932(text.substr(pos, length))) return pos;
        pos += length;
    }
    return npos;
}

// Where the first character without a CP932 form stands; npos when there is none.
std::size_t first_refused(std::string_view text) {
    if (utf8_to_cp932(text)) return npos;
    if (text.size() <= piece_floor) return first_refused_character(text);
    const std::size_t middle = boundary_after(text, text.size() / 2, utf8_step);
    const std::size_t in_first = first_refused(text.substr(0, middle));
    if (in_first != npos) return in_first;
    const std::size_t in_second = first_refused(text.substr(middle));
    return in_second == npos ? npos : middle + in_second;
}

// The different characters from `from` on that CP932 cannot hold (a byte
// that begins none counts as U+FFFD), up to refused_names_limit of them.
std::vector<std::string> refused_characters_from(std::string_view text, std::size_t from) {
    std::vector<std::string> found;
    for (std::size_t pos = from; pos < text.size() && found.size() < refused_names_limit;) {
        const std::size_t length = utf8_length(text, pos);
        const char32_t code_point = utf8_code_point(text, pos);
        const bool bad = length == 0 || (code_point != 0 && cp932_code_of(code_point) == 0);
        const std::string character(length == 0 ? replacement_character : text.substr(pos, length));
        pos += length == 0 ? 1 : length;
        if (bad && std::find(found.begin(), found.end(), character) == found.end()) found.push_back(character);
    }
    return found;
}

// What one character (or a byte that begins none) takes in an edit field.
std::size_t field_bytes(std::string_view character) {
    if (auto converted = utf8_to_cp932(character)) return converted->size();
    return character.size() == 1 ? 1 : 2;
}

}  // namespace

std::string display_utf8(std::string_view cp932) {
    std::string out;
    out.reserve(cp932.size() + cp932.size() / 2);
    append_display(cp932, out);
    return out;
}

typed_text typed_to_cp932(std::string_view utf8) {
    typed_text result;
    if (auto converted = utf8_to_cp932(utf8)) {
        result.ok = true;
        result.text = std::move(*converted);
        return result;
    }
    const std::size_t at = first_refused(utf8);
    result.refused_at = at == npos ? 0 : at;
    const std::size_t length = result.refused_at < utf8.size() ? utf8_length(utf8, result.refused_at) : 0;
    result.refused = std::string(length == 0 ? replacement_character : utf8.substr(result.refused_at, length));
    result.refused_characters = refused_characters_from(utf8, result.refused_at);
    return result;
}

std::string refusal_notice(const typed_text& typed) {
    std::string notice = display_utf8(load_string(str::typed_char_unusable));
    const std::vector<std::string> single{typed.refused};
    for (const std::string& character : typed.refused_characters.empty() ? single : typed.refused_characters) {
        notice += "\n    " + character + " (" + code_point_name(utf8_code_point(character, 0)) + ")";
    }
    return notice;
}

std::size_t fitting_prefix(std::string_view utf8, std::size_t limit) {
    // No character takes more bytes in CP932 than in UTF-8.
    if (utf8.size() <= limit) return utf8.size();
    if (auto converted = utf8_to_cp932(utf8); converted && converted->size() <= limit) return utf8.size();
    std::size_t used = 0, pos = 0;
    while (pos < utf8.size()) {
        const std::size_t length = utf8_step(utf8, pos);
        const std::size_t bytes = field_bytes(utf8.substr(pos, length));
        if (used + bytes > limit) break;
        used += bytes;
        pos += length;
    }
    return pos;
}

bool fits_field(std::string_view utf8, std::size_t limit) { return fitting_prefix(utf8, limit) == utf8.size(); }

}  // namespace qm
