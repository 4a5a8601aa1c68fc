// libFuzzer over the character sets: CP932 that ISO-2022-JP can carry goes
// there and back unchanged, within any capacity it is given; what is read
// into UTF-8 is valid UTF-8; text that came from CP932 goes back to it; and
// text converted in place never grows.

#include "fuzz_support.h"
#include "platform/cp932.h"
#include "text/charset_conversion.h"
#include "text/display_text.h"
#include "text/sjis_jis.h"
#include "text/utf8_sjis.h"
#include "text/utf8_text.h"

namespace {

// The characters of the bytes that ISO-2022-JP has: ASCII but ESC (which
// would start an escape sequence), half-width katakana and JIS X 0208 pairs.
std::string iso2022jp_repertoire(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = bytes[i];
        if ((c < 0x80 && c != 0x1b) || (c >= 0xa1 && c <= 0xdf)) out += bytes[i];
        else if (fuzz::jis_pair_at(bytes, i)) out += bytes.substr(i++, 2);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const unsigned seed = size > 0 ? data[0] : 0;

    // Each input byte takes at most four bytes of ISO-2022-JP ("a" ESC "(I" kana ESC "(B").
    const std::string text = iso2022jp_repertoire(bytes);
    std::string jis;
    CHECK(qm::sjis_to_jis(jis, 4 * text.size() + 8, text));
    for (char c : jis) CHECK(static_cast<unsigned char>(c) < 0x80);
    qm::jis_to_sjis(jis);
    CHECK(jis == text);

    const std::size_t capacity = (seed * 7u) % (2 * size + 2);
    const bool fits = qm::sjis_to_jis(jis, capacity, bytes);
    CHECK(capacity == 0 ? !fits : jis.size() + 1 <= capacity);
    std::string in_place(bytes);
    qm::jis_to_sjis(in_place);
    CHECK(in_place.size() <= size);
    in_place = bytes;
    qm::utf8_to_sjis(in_place);
    CHECK(in_place.size() <= size);

    static constexpr const char* charsets[] = {"UTF-8", "ISO-2022-JP", "Shift_JIS", "EUC-JP", "ISO-8859-1",
                                               "UTF-16", "GB18030", "ks_c_5601-1987", "x-unknown"};
    const char* charset = charsets[seed % std::size(charsets)];
    if (auto utf8 = qm::convert_to_utf8(charset, bytes)) CHECK(qm::is_valid_utf8(*utf8));
    // ISO-2022-JP keeps 8-bit bytes as they came: mail so labelled that holds them holds Shift_JIS.
    if (auto cp932 = qm::convert_to_cp932(charset, bytes); cp932 && charset != std::string_view("ISO-2022-JP"))
        CHECK(qm::cp932_to_utf8(*cp932).has_value());
    CHECK(qm::is_valid_utf8(qm::display_utf8(bytes)));

    if (auto utf8 = qm::cp932_to_utf8(bytes)) {
        CHECK(qm::is_valid_utf8(*utf8) && qm::utf8_to_cp932(*utf8).has_value());
        CHECK(qm::cp932_to_utf8(qm::utf8_to_sjis_copy(*utf8)) == utf8);
        qm::typed_text typed = qm::typed_to_cp932(*utf8);
        CHECK(typed.ok && qm::cp932_to_utf8(typed.text) == utf8);
        std::size_t prefix = qm::fitting_prefix(*utf8, seed);
        CHECK(prefix <= utf8->size() && qm::typed_to_cp932(utf8->substr(0, prefix)).text.size() <= seed);
    }
    return 0;
}
