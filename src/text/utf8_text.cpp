#include "text/utf8_text.h"

#include <cstdio>

namespace qm {

namespace {

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";  // U+FFFD
constexpr char32_t replacement_code_point = 0xfffd;

unsigned char byte_at(std::string_view text, std::size_t pos) { return static_cast<unsigned char>(text[pos]); }

}  // namespace

std::size_t utf8_length(std::string_view text, std::size_t pos) {
    const unsigned char lead = byte_at(text, pos);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (pos + length > text.size() || byte_at(text, pos + 1) < low || byte_at(text, pos + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte_at(text, pos + i) < 0x80 || byte_at(text, pos + i) > 0xbf) return 0;
    }
    return length;
}

std::size_t utf8_step(std::string_view text, std::size_t pos) {
    const std::size_t length = utf8_length(text, pos);
    return length == 0 ? 1 : length;
}

bool is_valid_utf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        if (byte_at(text, pos) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t length = utf8_length(text, pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

char32_t utf8_code_point(std::string_view text, std::size_t pos) {
    const std::size_t length = utf8_length(text, pos);
    if (length == 0) return replacement_code_point;
    const unsigned char lead = byte_at(text, pos);
    if (length == 1) return lead;
    char32_t value = lead & (length == 2 ? 0x1f : length == 3 ? 0x0f : 0x07);
    for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (byte_at(text, pos + i) & 0x3f);
    return value;
}

std::string sanitized_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t clean = 0;  // the start of the run of good bytes not yet copied
    for (std::size_t pos = 0; pos < bytes.size();) {
        if (byte_at(bytes, pos) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t length = utf8_length(bytes, pos);
        if (length > 0) {
            pos += length;
            continue;
        }
        out.append(bytes.substr(clean, pos - clean));
        out.append(replacement_character);
        clean = ++pos;
    }
    out.append(bytes.substr(clean));
    return out;
}

std::string_view utf8_prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t step = utf8_step(text, pos);
        if (pos + step > limit) break;
        pos += step;
    }
    return text.substr(0, pos);
}

std::string with_visible_controls(std::string_view utf8, bool keep_tabs) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const unsigned char c = byte_at(utf8, pos);
        if (c == '\n' || (c == '\t' && keep_tabs) || (c >= 0x20 && c < 0x7f)) {
            out.push_back(static_cast<char>(c));
            ++pos;
            continue;
        }
        if (c < 0x20 || c == 0x7f) {
            out.push_back('^');
            out.push_back(c == 0x7f ? '?' : static_cast<char>(c + 0x40));
            ++pos;
            continue;
        }
        const std::size_t length = utf8_length(utf8, pos);
        const char32_t code_point = utf8_code_point(utf8, pos);
        if (length == 0 || (code_point >= 0x80 && code_point < 0xa0)) {
            out.append(replacement_character);
            pos += length == 0 ? 1 : length;
            continue;
        }
        out.append(utf8.substr(pos, length));
        pos += length;
    }
    return out;
}

std::string code_point_name(char32_t code_point) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code_point));
    return name;
}

}  // namespace qm
