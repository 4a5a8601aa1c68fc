#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <optional>
#include <vector>

#include <dirent.h>

namespace qm {

// One entry of a directory listing.
struct dir_entry {
    std::string name;  // CP932
    std::uint64_t size = 0;
    std::string time_text;  // last write, local time: "%d.%2d.%2d %2d:%02d.%02d"
    std::time_t write_time = 0;
    bool directory = false;
    bool symlink = false;  // the entry itself is a symbolic link (directory says what it points to)
    bool system = false;   // does not exist on Linux: always off
    bool hidden = false;   // a name beginning with "."
    bool read_only = false;
    bool archive = false;  // does not exist on Linux: always off

    std::uint32_t size_high() const { return static_cast<std::uint32_t>(size >> 32); }
    std::uint32_t size_low() const { return static_cast<std::uint32_t>(size); }
};

// The last-write time text of a listing entry.
std::string format_write_time(std::time_t when);

// Walks one directory. Given a path that ends with "/" it lists every entry;
// otherwise the last path component is a pattern ("*" and "?" wildcards;
// "*.*" and a pattern ending in ".*" also match names without a dot, as the
// program expects). "." and ".." are listed like any other entry, so every
// caller skips them. Names that have no CP932 form are left out.
class directory_walker {
public:
    directory_walker() = default;
    explicit directory_walker(std::string_view path) { open(path); }
    ~directory_walker();
    directory_walker(const directory_walker&) = delete;
    directory_walker& operator=(const directory_walker&) = delete;

    bool open(std::string_view path);
    bool is_open() const { return dir_ != nullptr; }
    bool next(dir_entry& entry);

private:
    bool matches(const std::string& disk_name) const;

    DIR* dir_ = nullptr;
    std::string pattern_;  // UTF-8; empty lists everything
};

// The names in a directory (CP932), without "." and "..", in listing order,
// read without looking at each entry's attributes: the quick way to learn
// which names a large folder holds. nullopt when it cannot be listed.
std::optional<std::vector<std::string>> read_directory_names(std::string_view directory);

}  // namespace qm
