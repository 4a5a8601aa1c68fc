#include "text/ascii_text.h"

#include <string>

#include "platform/file_handle.h"

namespace qm {

namespace {
constexpr std::size_t read_block = 65536;
}

bool is_ascii_text(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

bool is_ascii_file(std::string_view path) {
    file_handle file = open_file(path, "rb");
    if (!file) return true;
    std::string block(read_block, '\0');
    std::size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        if (!is_ascii_text(std::string_view(block.data(), n))) return false;
    }
    return true;
}

}  // namespace qm
