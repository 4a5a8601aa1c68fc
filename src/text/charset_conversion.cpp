#include "text/charset_conversion.h"

#include <array>
#include <cerrno>

#include "base/find_nocase.h"
#include "text/display_text.h"
#include "text/iconv_handle.h"
#include "text/sjis_jis.h"
#include "text/utf8_sjis.h"
#include "text/utf8_text.h"

namespace qm {

namespace {

// Longest charset name worth asking the converter about.
constexpr std::size_t charset_name_limit = 64;

struct charset_alias {
    std::string_view mail_name;
    std::string_view converter_name;
};

// Names mail uses that the converter does not know, or knows as a narrower
// charset than the one such mail holds.
constexpr std::array<std::string_view, 9> shift_jis_labels{"Shift_JIS", "shift-jis", "SJIS",     "x-sjis",
                                                           "CP932",     "MS932",     "Windows-31J", "MS_Kanji",
                                                           "csShiftJIS"};

constexpr std::array<charset_alias, 5> charset_aliases{{
    {"ks_c_5601-1987", "CP949"},
    {"iso-8859-8-i", "ISO-8859-8"},
    // The NEC and IBM rows that Japanese mail in EUC-JP carries.
    {"euc-jp", "EUC-JP-MS"},
    {"x-euc-jp", "EUC-JP-MS"},
    {"utf8", "UTF-8"},
}};

std::string_view converter_name(std::string_view charset) {
    // Mail labelled Shift_JIS holds CP932, whose extensions plain Shift_JIS lacks.
    if (is_shift_jis_label(charset)) return "CP932";
    for (const auto& alias : charset_aliases) {
        if (equals_nocase(charset, alias.mail_name)) return alias.converter_name;
    }
    return charset;
}

// A charset name is a token; anything else (a "/" would pass options to
// the converter) is no charset.
bool is_charset_token(std::string_view name) {
    if (name.empty() || name.size() > charset_name_limit) return false;
    for (char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                  c == '.' || c == ':' || c == '+';
        if (!ok) return false;
    }
    return true;
}

// The bytes through the converter into UTF-8, with the replacement for
// every byte it cannot read (the UTF-8 form of U+FFFD, which CP932 lacks,
// so that it turns into 0x8148 in the next step).
std::string to_utf8(iconv_handle& converter, std::string_view bytes) {
    constexpr std::string_view utf8_replacement = "\xef\xbf\xbd";
    std::string output(bytes.size() * 2 + 16, '\0');
    std::size_t done = 0;
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    bool flushing = false;
    for (;;) {
        char* out = output.data() + done;
        std::size_t out_left = output.size() - done;
        std::size_t result = flushing ? iconv(converter.get(), nullptr, nullptr, &out, &out_left)
                                      : iconv(converter.get(), &in, &in_left, &out, &out_left);
        const int error = errno;
        done = output.size() - out_left;
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing) break;
            flushing = true;
            continue;
        }
        if (error == E2BIG) {
            output.resize(output.size() * 2);
            continue;
        }
        if (flushing) break;
        // EILSEQ: skip the byte; EINVAL: the text ends inside a character.
        // Some converters (ISO-2022-CN-EXT) take the bad bytes up to the end
        // before they say EILSEQ: nothing is left to skip then.
        if (output.size() - done < utf8_replacement.size()) output.resize(output.size() * 2);
        output.replace(done, utf8_replacement.size(), utf8_replacement);
        done += utf8_replacement.size();
        if (error == EINVAL || in_left == 0) {
            in_left = 0;
        } else {
            ++in;
            --in_left;
        }
    }
    output.resize(done);
    return output;
}

}  // namespace

bool is_shift_jis_label(std::string_view charset) {
    for (std::string_view label : shift_jis_labels) {
        if (equals_nocase(charset, label)) return true;
    }
    return false;
}

std::optional<std::string> convert_to_cp932(std::string_view charset, std::string_view bytes) {
    if (!is_charset_token(charset)) return std::nullopt;
    std::string name(converter_name(charset));
    if (equals_nocase(name, "UTF-8")) return utf8_to_sjis_copy(bytes);
    // The program's own reader knows the half-width katakana and NEC rows
    // that Japanese mail in ISO-2022-JP carries, which the system's does not.
    if (equals_nocase(name, "ISO-2022-JP")) {
        std::string text(bytes);
        jis_to_sjis(text);
        return text;
    }
    iconv_handle converter("UTF-8", name.c_str());
    if (converter.is_open()) return utf8_to_sjis_copy(to_utf8(converter, bytes));
    // A system without the wider charset still reads the name mail gave.
    if (name == charset) return std::nullopt;
    iconv_handle as_named("UTF-8", std::string(charset).c_str());
    if (!as_named.is_open()) return std::nullopt;
    return utf8_to_sjis_copy(to_utf8(as_named, bytes));
}

std::optional<std::string> convert_to_utf8(std::string_view charset, std::string_view bytes) {
    if (!is_charset_token(charset)) return std::nullopt;
    std::string name(converter_name(charset));
    if (equals_nocase(name, "UTF-8")) return sanitized_utf8(bytes);
    if (equals_nocase(name, "CP932")) return display_utf8(bytes);
    if (equals_nocase(name, "ISO-2022-JP")) {
        std::string text(bytes);
        jis_to_sjis(text);
        return display_utf8(text);
    }
    iconv_handle converter("UTF-8", name.c_str());
    if (converter.is_open()) return sanitized_utf8(to_utf8(converter, bytes));
    if (name == charset) return std::nullopt;
    iconv_handle as_named("UTF-8", std::string(charset).c_str());
    if (!as_named.is_open()) return std::nullopt;
    return sanitized_utf8(to_utf8(as_named, bytes));
}

}  // namespace qm
