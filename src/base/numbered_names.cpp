#include "base/numbered_names.h"

#include <algorithm>

namespace qm {

bool is_decimal(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool decimal_less(std::string_view a, std::string_view b) {
    std::string_view value_a = a.substr(std::min(a.find_first_not_of('0'), a.size()));
    std::string_view value_b = b.substr(std::min(b.find_first_not_of('0'), b.size()));
    if (value_a.size() != value_b.size()) return value_a.size() < value_b.size();
    if (value_a != value_b) return value_a < value_b;
    return a < b;
}

}  // namespace qm
