// libFuzzer over the rendition of HTML mail: any bytes, with or without a
// charset, give text without a crash, a sanitizer report or a hang.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "message/html_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first byte picks the charset the part would declare.
    static constexpr std::string_view charsets[] = {"", "UTF-8", "Shift_JIS", "ISO-2022-JP", "EUC-JP", "ISO-8859-1", "x-unknown"};
    std::string_view declared = size > 0 ? charsets[data[0] % std::size(charsets)] : "";
    if (size > 0) bytes.remove_prefix(1);
    qm::html_text(bytes, declared);
    return 0;
}
