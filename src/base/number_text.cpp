#include "base/number_text.h"

#include <algorithm>

namespace qm {

namespace {

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr unsigned long long llong_magnitude = static_cast<unsigned long long>(LLONG_MAX);

}  // namespace

long long leading_number(std::string_view text, long long lowest, long long highest) {
    std::size_t pos = 0;
    while (pos < text.size() && is_c_space(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    unsigned long long magnitude = 0;
    bool huge = false;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        if (magnitude > (ULLONG_MAX - 9) / 10) huge = true;
        else magnitude = magnitude * 10 + static_cast<unsigned long long>(text[pos] - '0');
    }
    if (negative) {
        if (huge || magnitude > llong_magnitude + 1) return lowest;
        long long value = magnitude == llong_magnitude + 1 ? LLONG_MIN : -static_cast<long long>(magnitude);
        return std::clamp(value, lowest, highest);
    }
    if (huge || magnitude > llong_magnitude) return highest;
    return std::clamp(static_cast<long long>(magnitude), lowest, highest);
}

}  // namespace qm
