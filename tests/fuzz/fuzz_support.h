#pragma once

// What the fuzz targets share: an invariant that aborts (libFuzzer keeps the
// input), a scratch directory of the process, a file's bytes, and the
// double-byte characters of CP932 that JIS X 0208 carries.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#define CHECK(c) ((c) ? void() : (std::fprintf(stderr, "invariant failed: %s\n", #c), std::abort()))

namespace fuzz {

// A directory of this process below `base` (the first call's), ending with "/", removed at exit.
inline const std::string& scratch(const std::string& base = std::filesystem::temp_directory_path().string()) {
    struct directory {
        explicit directory(std::string name) : path(std::string(mkdtemp(name.data())) + "/") {}
        ~directory() { std::filesystem::remove_all(path); }
        std::string path;
    };
    static const directory made(base + "/quillmere-fuzz-XXXXXX");
    return made.path;
}

inline std::string contents(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// The length of the JIS X 0208 pair at `i` (lead 0x81-0x9F or 0xE0-0xEF), else 0.
inline std::size_t jis_pair_at(std::string_view bytes, std::size_t i) {
    const unsigned char c = bytes[i], trail = i + 1 < bytes.size() ? bytes[i + 1] : 0;
    const bool lead = (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xef);
    return lead && trail >= 0x40 && trail <= 0xfc && trail != 0x7f ? 2 : 0;
}

}  // namespace fuzz
