// libFuzzer over the rendition of HTML mail: any bytes, with or without a
// charset, give valid UTF-8 text in lines that end with a line feed alone
// and without a blank at their end (what shows it makes control characters
// visible).

#include "fuzz_support.h"
#include "message/html_text.h"
#include "text/utf8_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first byte picks the charset the part would declare.
    static constexpr std::string_view charsets[] = {"", "UTF-8", "Shift_JIS", "ISO-2022-JP", "EUC-JP", "ISO-8859-1", "x-unknown"};
    std::string_view declared = size > 0 ? charsets[data[0] % std::size(charsets)] : "";
    if (size > 0) bytes.remove_prefix(1);
    const std::string text = qm::html_text(bytes, declared);
    CHECK(qm::is_valid_utf8(text) && qm::is_valid_utf8(qm::html_as_utf8(bytes, declared)));
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const unsigned char c = text[pos];
        CHECK(c != '\0' && (c != '\n' || pos == 0 || text[pos - 1] != '\r'));
        CHECK(c != '\n' || pos == 0 || (text[pos - 1] != ' ' && text[pos - 1] != '\t'));
    }
    return 0;
}
