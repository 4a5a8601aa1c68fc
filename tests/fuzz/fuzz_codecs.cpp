// libFuzzer over Base64 and quoted-printable: any bytes, encoded and broken
// into lines of any width, decode to exactly those bytes; any text decodes
// without reading past its end into no more bytes than it can hold.

#include "fuzz_support.h"
#include "text/base64.h"
#include "text/quoted_printable.h"

namespace {

// Quoted-printable as senders write it: bytes as they are where they may
// stand so, or "=XY" in either case, and soft line breaks anywhere between.
std::string qp_encoded(std::string_view bytes, unsigned seed) {
    static constexpr char upper[] = "0123456789ABCDEF", lower[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) % 5 == 0) out += "=\n";
        const char* hex = (seed >> 20) & 1 ? upper : lower;
        if (c != '=' && (seed >> 21) & 1) out += static_cast<char>(c);
        else out.append({'=', hex[c >> 4], hex[c & 15]});
    }
    return out;
}

// The Base64 text with a line break (CR LF, LF or a blank) after every
// `width` characters.
std::string wrapped(std::string_view text, std::size_t width, std::string_view line_break) {
    std::string out;
    for (std::size_t pos = 0; pos < text.size(); pos += width) out.append(text.substr(pos, width)).append(line_break);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const unsigned seed = size > 0 ? data[0] : 0;

    const std::string encoded = qm::base64_encode_text(bytes);
    CHECK(encoded.size() == (size + 2) / 3 * 4);
    static constexpr std::string_view breaks[] = {"\r\n", "\n", " ", "\t\r\n"};
    std::string decoded = "kept";
    CHECK(qm::base64_decode_body(wrapped(encoded, seed % 80 + 1, breaks[seed % 4]), decoded));
    CHECK(decoded == "kept" + std::string(bytes));
    CHECK(qm::qp_decode_text(qp_encoded(bytes, seed)) == bytes);

    // The input as encoded text.
    decoded.clear();
    bool whole = qm::base64_decode_body(bytes, decoded);
    CHECK(decoded.size() <= size / 4 * 3 + 3);
    // Whole groups of the alphabet alone have one decoding, and it encodes back.
    if (size % 4 == 0 && bytes.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/") ==
                             std::string_view::npos)
        CHECK(whole && qm::base64_encode_text(decoded) == bytes);
    std::string group = "x";
    int count = qm::base64_decode_group(bytes.substr(0, 4), group);
    CHECK(count == -1 ? group == "x" : count >= 1 && count <= 3 && group.size() == 1u + count);

    CHECK(qm::qp_decode_text(bytes).size() <= size);
    if (bytes.find('=') == std::string_view::npos) CHECK(qm::qp_decode_text(bytes) == bytes);
    std::string line(bytes);
    qm::qp_decode_line(line);
    CHECK(line.size() <= size);
    return 0;
}
