#include "text/utf8_sjis.h"

#include <algorithm>

#include "text/cp932_tables.h"
#include "text/sjis_jis.h"

namespace qm {

namespace {


enum class decode_status { character, invalid, incomplete };

struct decoded {
    decode_status status;
    std::size_t length;  // bytes the character takes (1 for an invalid byte)
    char32_t code_point;
};

bool is_continuation(unsigned char c) { return (c & 0xc0) == 0x80; }

// The character at the start of `bytes` (at least one byte). `incomplete`
// when the bytes are a valid beginning that ends too early.
decoded decode_character(const unsigned char* bytes, std::size_t available) {
    unsigned char lead = bytes[0];
    if (lead < 0x80) return {decode_status::character, 1, lead};

    std::size_t length;
    char32_t value;
    // The range of the second byte excludes overlong forms, surrogates and
    // values above U+10FFFF.
    unsigned char second_low = 0x80, second_high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        value = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        value = lead & 0x0f;
        if (lead == 0xe0) second_low = 0xa0;
        if (lead == 0xed) second_high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xf0) second_low = 0x90;
        if (lead == 0xf4) second_high = 0x8f;
    } else {
        return {decode_status::invalid, 1, 0};
    }

    for (std::size_t k = 1; k < length; ++k) {
        if (k >= available) return {decode_status::incomplete, 1, 0};
        unsigned char c = bytes[k];
        bool fits = k == 1 ? c >= second_low && c <= second_high : is_continuation(c);
        if (!fits) return {decode_status::invalid, 1, 0};
        value = (value << 6) | (c & 0x3f);
    }
    return {decode_status::character, length, value};
}

unsigned code_or_replacement(char32_t code_point) {
    unsigned code = cp932_code_of(code_point);
    return code ? code : sjis_replacement;
}

std::size_t code_length(unsigned code) { return code < 0x100 ? 1 : 2; }

void append_code(unsigned code, std::string& output) {
    if (code >= 0x100) output.push_back(static_cast<char>(code >> 8));
    output.push_back(static_cast<char>(code & 0xff));
}

// Converts the complete characters of `bytes` and returns how many bytes it
// used: all of them when `final`, else up to a character cut off at the end.
std::size_t convert_span(std::string_view bytes, std::string& output, bool final) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (data[pos] < 0x80) {
            std::size_t end = pos + 1;
            while (end < bytes.size() && data[end] < 0x80) ++end;
            output.append(bytes.substr(pos, end - pos));
            pos = end;
            continue;
        }
        decoded d = decode_character(data + pos, bytes.size() - pos);
        if (d.status == decode_status::incomplete && !final) break;
        append_code(d.status == decode_status::character ? code_or_replacement(d.code_point) : sjis_replacement,
                    output);
        pos += d.length;
    }
    return pos;
}

}  // namespace

void utf8_to_sjis(std::string& text) {
    auto* data = reinterpret_cast<unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t read = 0, write = 0;
    while (read < n) {
        if (data[read] < 0x80) {
            data[write++] = data[read++];
            continue;
        }
        decoded d = decode_character(data + read, n - read);
        read += d.length;
        unsigned code = d.status == decode_status::character ? code_or_replacement(d.code_point) : sjis_replacement;
        // Every character's CP932 form is at most as long as its UTF-8 form;
        // only the replacement of a single invalid byte may not fit.
        if (write + code_length(code) > read) code = '?';
        if (code >= 0x100) data[write++] = static_cast<unsigned char>(code >> 8);
        data[write++] = static_cast<unsigned char>(code & 0xff);
    }
    text.resize(write);
}

std::string utf8_to_sjis_copy(std::string_view text) {
    std::string output;
    output.reserve(text.size());
    convert_span(text, output, true);
    return output;
}

bool is_8bit_utf8(std::string_view text) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    bool eight_bit = false;
    for (std::size_t pos = 0; pos < text.size();) {
        if (data[pos] < 0x80) {
            ++pos;
            continue;
        }
        decoded d = decode_character(data + pos, text.size() - pos);
        if (d.status != decode_status::character) return false;
        eight_bit = true;
        pos += d.length;
    }
    return eight_bit;
}

}  // namespace qm
