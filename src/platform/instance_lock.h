#pragma once

#include <string>
#include <string_view>

namespace qm {

// Keeps a second copy of the program from running: an exclusive lock on
// "Quillmere-<uid>.lock" (instance_file_path), held until the object goes.
class instance_lock {
public:
    enum class result { acquired, already_running, failed };

    instance_lock() = default;
    ~instance_lock();
    instance_lock(const instance_lock&) = delete;
    instance_lock& operator=(const instance_lock&) = delete;

    // `fallback_directory` is a CP932 path ending with "/".
    result acquire(std::string_view fallback_directory);
    void release();

private:
    int fd_ = -1;
};

// The on-disk path of the running copy's file with this extension ("lock",
// or "sock" for the socket through which a second start asks it to come to
// the front): in $XDG_RUNTIME_DIR, else in the fallback directory (CP932,
// ending with "/"). Empty when the fallback has no on-disk form.
std::string instance_file_path(std::string_view fallback_directory, std::string_view extension);

}  // namespace qm
