#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/cp932.h"
#include "base/format.h"

namespace qm {

instance_lock::~instance_lock() { release(); }

void instance_lock::release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string instance_file_path(std::string_view fallback_directory, std::string_view extension) {
    std::string name = string_printf("Quillmere-%u.", static_cast<unsigned>(::getuid())) + std::string(extension);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime == '/' ? std::string(runtime) + "/" + name
                                      : disk_path(std::string(fallback_directory) + name);
}

instance_lock::result instance_lock::acquire(std::string_view fallback_directory) {
    release();
    const std::string path = instance_file_path(fallback_directory, "lock");
    if (path.empty()) return result::failed;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return result::failed;
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return result::acquired;
    int error = errno;
    release();
    return error == EWOULDBLOCK ? result::already_running : result::failed;
}

}  // namespace qm
