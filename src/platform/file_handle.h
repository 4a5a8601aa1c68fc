#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace qm {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// fopen for a CP932 path; `mode` as fopen's ("rb", "wb", "ab" ...).
file_handle open_file(std::string_view path, const char* mode);

// New files are created with this mode (before the umask): message files,
// settings and lists are the user's private data.
inline constexpr unsigned new_file_mode = 0600;

// Opens for writing with O_CREAT|O_TRUNC (or O_APPEND) and new_file_mode.
file_handle create_file(std::string_view path, bool append = false);

// The whole file in binary; false when it cannot be opened or read.
bool read_binary_file(std::string_view path, std::string& contents);

// Writes the bytes as the whole file; on a failure the file is deleted.
bool write_binary_file(std::string_view path, std::string_view contents);

// Writes all the bytes to the descriptor, again after an interruption;
// false (errno set) when the system takes no more.
bool write_all(int fd, std::string_view bytes);

// Closes and reports whether everything written reached the file.
bool close_checked(file_handle& file);

}  // namespace qm
