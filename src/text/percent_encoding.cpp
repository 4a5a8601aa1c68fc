#include "text/percent_encoding.h"

namespace qm {

namespace {

bool is_ascii_alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

constexpr char upper_hex[] = "0123456789ABCDEF";
constexpr std::size_t escape_length = 3;

}  // namespace

bool percent_encode(std::string& output, std::size_t capacity, std::string_view input) {
    output.clear();
    for (char c : input) {
        if (is_ascii_alnum(c)) {
            if (output.size() + 1 > capacity) return false;
            output.push_back(c);
            continue;
        }
        if (output.size() + escape_length > capacity) return false;
        auto byte = static_cast<unsigned char>(c);
        output.push_back('%');
        output.push_back(upper_hex[byte >> 4]);
        output.push_back(upper_hex[byte & 0x0f]);
    }
    return output.size() + 1 <= capacity;  // room for the terminating zero byte
}

}  // namespace qm
