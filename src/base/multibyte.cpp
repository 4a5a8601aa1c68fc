#include "base/multibyte.h"

namespace qm {

std::size_t mbs_find(std::string_view text, std::string_view pattern, std::size_t from) {
    if (from > text.size()) return std::string_view::npos;
    for (std::size_t pos = from; pos + pattern.size() <= text.size(); pos += char_length(text, pos)) {
        if (text.compare(pos, pattern.size(), pattern) == 0) return pos;
        if (pos == text.size()) break;
    }
    return std::string_view::npos;
}

std::size_t mbs_find_char(std::string_view text, char c, std::size_t from) {
    for (std::size_t pos = from; pos < text.size(); pos += char_length(text, pos)) {
        if (text[pos] == c) return pos;
    }
    return std::string_view::npos;
}

std::size_t mbs_find_last_char(std::string_view text, char c) {
    std::size_t found = std::string_view::npos;
    for (std::size_t pos = 0; pos < text.size(); pos += char_length(text, pos)) {
        if (text[pos] == c) found = pos;
    }
    return found;
}

namespace {
unsigned code_at(std::string_view text, std::size_t pos, std::size_t& length) {
    length = char_length(text, pos);
    unsigned code = static_cast<unsigned char>(text[pos]);
    if (length == 2) code = code * 256 + static_cast<unsigned char>(text[pos + 1]);
    return code;
}
}  // namespace

int mbs_compare(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        std::size_t la, lb;
        unsigned ca = code_at(a, i, la), cb = code_at(b, j, lb);
        if (ca != cb) return ca < cb ? -1 : 1;
        i += la;
        j += lb;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::string backslashes_to_slashes(std::string_view text) {
    std::string result(text);
    for (std::size_t pos = 0; pos < result.size(); pos += char_length(result, pos)) {
        if (result[pos] == '\\') result[pos] = '/';
    }
    return result;
}

bool mbs_equals_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (std::size_t pos = 0; pos < a.size();) {
        std::size_t length = char_length(a, pos);
        if (length == 2 ? a.substr(pos, 2) != b.substr(pos, 2) : upper(a[pos]) != upper(b[pos])) return false;
        pos += length;
    }
    return true;
}

bool mbs_holds_any_of(std::string_view text, std::string_view chars) {
    for (char c : chars) {
        if (mbs_find_char(text, c) != std::string_view::npos) return true;
    }
    return false;
}

bool holds_control_char(std::string_view text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) return true;
    }
    return false;
}

}  // namespace qm
