#include "text/unicode_forms.h"

#include <vector>

#include "base/multibyte.h"
#include "text/cp932_tables.h"
#include "text/sjis_jis.h"
#include "text/utf8_text.h"

namespace qm {

namespace {

unsigned cp932_code_at(std::string_view text, std::size_t pos, std::size_t length) {
    unsigned code = static_cast<unsigned char>(text[pos]);
    if (length == 2) code = code << 8 | static_cast<unsigned char>(text[pos + 1]);
    return code;
}

// Whether the Unicode character can be what the stored CP932 code was made
// from.
bool agrees(unsigned stored_code, char32_t code_point) {
    if (stored_code == sjis_replacement) return true;
    const unsigned code = code_point < 0x80 ? static_cast<unsigned>(code_point) : cp932_code_of(code_point);
    if (code == 0) return false;
    return code == stored_code || nec_equivalent_of_ibm_code(code) == stored_code;
}

// For every character boundary of `stored` (and its end), the place of the
// matching character in `unicode`: positions[i] is the Unicode offset of
// the character that starts at stored byte i (npos inside a character).
// nullopt when they disagree, or when `unicode` runs out before `stored`.
// Without `cut`, both must end together.
std::optional<std::vector<std::size_t>> align(std::string_view stored, std::string_view unicode, bool cut) {
    constexpr std::size_t npos = std::string_view::npos;
    std::vector<std::size_t> positions(stored.size() + 1, npos);
    std::size_t u = 0;
    for (std::size_t s = 0; s < stored.size();) {
        if (u >= unicode.size()) return std::nullopt;
        const std::size_t length = char_length(stored, s);
        positions[s] = u;
        if (!agrees(cp932_code_at(stored, s, length), utf8_code_point(unicode, u))) return std::nullopt;
        s += length;
        u += utf8_step(unicode, u);
    }
    if (!cut && u != unicode.size()) return std::nullopt;
    positions[stored.size()] = u;
    return positions;
}

}  // namespace

bool holds_lost_character_mark(std::string_view cp932) {
    if (cp932.find("\x81\x48") == std::string_view::npos) return false;
    // Only as a character of its own, not as a trail byte and a lead byte.
    for (std::size_t pos = 0; pos < cp932.size();) {
        const std::size_t length = char_length(cp932, pos);
        if (length == 2 && cp932_code_at(cp932, pos, 2) == sjis_replacement) return true;
        pos += length;
    }
    return false;
}

std::optional<std::string> unicode_form(std::string_view stored, std::string_view unicode, bool cut) {
    std::optional<std::vector<std::size_t>> positions = align(stored, unicode, cut);
    if (!positions) return std::nullopt;
    return std::string(unicode.substr(0, positions->back()));
}

std::optional<std::string> unicode_form_of_piece(std::string_view stored, std::string_view unicode, std::size_t start,
                                                 std::size_t length) {
    if (start > stored.size() || length > stored.size() - start) return std::nullopt;
    std::optional<std::vector<std::size_t>> positions = align(stored, unicode, true);
    if (!positions) return std::nullopt;
    const std::size_t from = (*positions)[start], to = (*positions)[start + length];
    if (from == std::string_view::npos || to == std::string_view::npos) return std::nullopt;
    return std::string(unicode.substr(from, to - from));
}

}  // namespace qm
