#include "notepad/held_file.h"

#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/cp932.h"

namespace qm {

held_file& held_file::operator=(held_file&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool held_file::hold(std::string_view path) {
    const std::string name = disk_path(path);
    if (name.empty()) return false;
    // Without O_NONBLOCK a named pipe would keep the window from ever opening.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return false;
    }
    release();
    fd_ = fd;
    return true;
}

void held_file::release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace qm
