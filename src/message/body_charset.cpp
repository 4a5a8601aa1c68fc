#include "message/body_charset.h"

#include <array>
#include <optional>

#include "message/message_lines.h"
#include "text/charset_conversion.h"
#include "base/find_nocase.h"
#include "text/sjis_jis.h"
#include "text/utf8_sjis.h"

namespace qm {

namespace {

constexpr std::array<std::string_view, 3> iso2022jp_labels{"ISO-2022-JP", "US-ASCII", "ASCII"};
constexpr std::array<std::string_view, 2> utf8_labels{"UTF-8", "UTF8"};

template <std::size_t n>
bool is_one_of(std::string_view charset, const std::array<std::string_view, n>& labels) {
    for (std::string_view label : labels) {
        if (equals_nocase(charset, label)) return true;
    }
    return false;
}

}  // namespace

body_charset classify_charset(std::string_view charset) {
    if (is_one_of(charset, iso2022jp_labels)) return body_charset::iso2022jp;
    if (is_one_of(charset, utf8_labels)) return body_charset::utf8;
    if (is_shift_jis_label(charset)) return body_charset::sjis;
    return convert_to_cp932(charset, {}) ? body_charset::other : body_charset::unknown;
}

std::string body_to_cp932(body_charset kind, std::string_view charset, std::string_view bytes) {
    switch (kind) {
    case body_charset::iso2022jp: {
        std::string text(bytes);
        jis_to_sjis(text);
        return text;
    }
    case body_charset::utf8:
        return utf8_to_sjis_copy(bytes);
    case body_charset::other:
        if (std::optional<std::string> text = convert_to_cp932(charset, bytes)) return std::move(*text);
        return std::string(bytes);
    case body_charset::sjis:
    case body_charset::unknown:
        break;
    }
    return std::string(bytes);
}

std::string jis_lines_to_sjis(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    line_splitter lines(text);
    std::string_view line;
    std::string converted;
    while (lines.next(line)) {
        converted.assign(line);
        jis_to_sjis(converted);
        out += converted;
    }
    return out;
}

}  // namespace qm
