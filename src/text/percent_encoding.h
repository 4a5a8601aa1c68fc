#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// The percent form of an RFC 2231 parameter value: ASCII letters and digits
// stay, every other byte becomes "%" and two upper-case hexadecimal digits.
// `output` receives the result; false when it would not fit into `capacity`
// bytes with a terminating zero byte (output.size() + 1 <= capacity). On
// false `output` holds the part that fitted.
bool percent_encode(std::string& output, std::size_t capacity, std::string_view input);

}  // namespace qm
