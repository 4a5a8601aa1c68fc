#pragma once

#include <cstddef>
#include <string_view>

namespace qm {

// The value of a hexadecimal digit (either case), or -1.
inline int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a hexadecimal number of one up to `max_digits` digits at `pos`.
// Returns the number of digits read (0 when there is none) and sets `value`.
inline std::size_t read_hex(std::string_view text, std::size_t pos, std::size_t max_digits, int& value) {
    value = 0;
    std::size_t digits = 0;
    while (digits < max_digits && pos + digits < text.size()) {
        int digit = hex_digit_value(text[pos + digits]);
        if (digit < 0) break;
        value = value * 16 + digit;
        ++digits;
    }
    return digits;
}

}  // namespace qm
