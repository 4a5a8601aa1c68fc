#include "text/header_text_utf8.h"

#include <optional>

#include "base/hex_digits.h"
#include "text/base64.h"
#include "text/charset_conversion.h"
#include "text/display_text.h"
#include "text/sjis_jis.h"
#include "text/utf8_sjis.h"

namespace qm {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// One "=?charset?B?text?=" word found in a header text.
struct encoded_word {
    std::size_t start = npos, end = npos;  // of the whole word
    std::string_view charset, encoding, text;
};

std::optional<encoded_word> word_at(std::string_view raw, std::size_t start) {
    if (raw.compare(start, 2, "=?") != 0) return std::nullopt;
    const std::size_t charset_end = raw.find('?', start + 2);
    if (charset_end == npos || charset_end + 2 >= raw.size() || raw[charset_end + 2] != '?') return std::nullopt;
    const std::size_t text_start = charset_end + 3;
    const std::size_t text_end = raw.find("?=", text_start);
    if (text_end == npos) return std::nullopt;
    encoded_word word;
    word.start = start;
    word.end = text_end + 2;
    word.charset = raw.substr(start + 2, charset_end - start - 2);
    word.encoding = raw.substr(charset_end + 1, 1);
    word.text = raw.substr(text_start, text_end - text_start);
    if (word.charset.empty() || word.text.find_first_of(" \t") != npos) return std::nullopt;
    // An RFC 2231 language after "*" is no part of the charset.
    if (std::size_t star = word.charset.find('*'); star != npos) word.charset = word.charset.substr(0, star);
    return word;
}

std::optional<encoded_word> next_word(std::string_view raw, std::size_t from) {
    for (std::size_t at = raw.find("=?", from); at != npos; at = raw.find("=?", at + 1)) {
        if (std::optional<encoded_word> word = word_at(raw, at)) return word;
    }
    return std::nullopt;
}

std::optional<std::string> word_bytes(const encoded_word& word) {
    std::string bytes;
    if (word.encoding == "B" || word.encoding == "b") {
        if (word.text.size() % 4 != 0) return std::nullopt;
        for (std::size_t i = 0; i < word.text.size(); i += 4) {
            if (base64_decode_group(word.text.substr(i, 4), bytes) < 0) return std::nullopt;
        }
        return bytes;
    }
    if (word.encoding == "Q" || word.encoding == "q") {
        for (std::size_t i = 0; i < word.text.size(); ++i) {
            const char c = word.text[i];
            int high = 0, low = 0;
            if (c == '_') {
                bytes.push_back(' ');
            } else if (c == '=' && i + 2 < word.text.size() && (high = hex_digit_value(word.text[i + 1])) >= 0 &&
                       (low = hex_digit_value(word.text[i + 2])) >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                i += 2;
            } else {
                bytes.push_back(c);
            }
        }
        return bytes;
    }
    return std::nullopt;
}

// Text between words, as the sender's program wrote it.
std::string plain_text_utf8(std::string_view text, bool jis) {
    if (jis) {
        std::string sjis(text);
        jis_to_sjis(sjis);
        return display_utf8(sjis);
    }
    if (is_8bit_utf8(text)) return std::string(text);
    return display_utf8(text);
}

bool only_blanks(std::string_view text) { return text.find_first_not_of(" \t") == npos; }

void blank_controls(std::string& text) {
    for (char& c : text) {
        if (c == '\0' || c == '\r' || c == '\n' || c == '\x1a') c = ' ';
    }
}

}  // namespace

std::string header_text_utf8(std::string_view raw) {
    const bool jis = raw.find('\x1b') != npos;
    std::string out;
    std::size_t pos = 0;
    bool after_word = false;
    while (pos < raw.size()) {
        std::optional<encoded_word> word = next_word(raw, pos);
        std::string_view between = raw.substr(pos, (word ? word->start : raw.size()) - pos);
        std::optional<std::string> bytes = word ? word_bytes(*word) : std::nullopt;
        std::optional<std::string> decoded = bytes ? convert_to_utf8(word->charset, *bytes) : std::nullopt;
        // Blanks between two encoded words only separate them.
        if (!(after_word && decoded && only_blanks(between))) out += plain_text_utf8(between, jis);
        if (!word) break;
        if (decoded) {
            blank_controls(*decoded);
            out += *decoded;
        } else {
            // Kept as it came, but read as the text around it is: its charset
            // name may hold any byte.
            out += plain_text_utf8(raw.substr(word->start, word->end - word->start), jis);
        }
        after_word = decoded.has_value();
        pos = word->end;
    }
    return out;
}

}  // namespace qm
