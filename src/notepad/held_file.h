#pragma once

#include <string_view>

namespace qm {

// A file kept open for as long as a window shows it. The store takes an
// open file for one that is in use (a draft being edited is not moved), so
// the notepad holds the file it shows from the first look to the close. A
// read-only descriptor is enough for that and never writes anything.
class held_file {
public:
    held_file() = default;
    held_file(const held_file&) = delete;
    held_file& operator=(const held_file&) = delete;
    held_file(held_file&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    held_file& operator=(held_file&& other) noexcept;
    ~held_file() { release(); }

    // Opens the file (a CP932 path); only a regular file is held. A file
    // held before is let go only when the new one is held.
    bool hold(std::string_view path);
    void release();
    bool is_held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace qm
