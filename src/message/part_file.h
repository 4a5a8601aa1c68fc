#pragma once

#include <string>
#include <string_view>

namespace qm {

// A numbered file of a message directory (ending with "/"): "0" the header,
// "1" the first part, "2" and up the further parts, without gaps.
inline std::string part_file(std::string_view message_dir, int number) {
    return std::string(message_dir) + std::to_string(number);
}

}  // namespace qm
