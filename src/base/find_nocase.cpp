#include "base/find_nocase.h"

namespace qm {

namespace {
inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (upper(text[i]) != upper(prefix[i])) return false;
    }
    return true;
}

bool equals_nocase(std::string_view a, std::string_view b) { return a.size() == b.size() && starts_with_nocase(a, b); }

std::size_t find_nocase(std::string_view text, std::string_view pattern, std::size_t from) {
    if (text.empty() || from > text.size() || pattern.size() > text.size()) return std::string_view::npos;
    if (pattern.empty()) return from;
    char first = upper(pattern[0]);
    for (std::size_t pos = from; pos + pattern.size() <= text.size(); ++pos) {
        if (upper(text[pos]) == first && starts_with_nocase(text.substr(pos), pattern)) return pos;
    }
    return std::string_view::npos;
}

}  // namespace qm
