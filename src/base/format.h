#pragma once

#include <string>

namespace qm {

// printf into a std::string.
std::string string_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qm
