#include "store/draft_in_use.h"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform/cp932.h"
#include "store/mailbox_layout.h"

namespace qm {

bool is_file_open_elsewhere(std::string_view path) {
    const std::string name = disk_path(path);
    return !name.empty() && is_system_file_open_elsewhere(name);
}

bool is_system_file_open_elsewhere(const std::string& name) {
    int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool in_use = false;
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    else
        in_use = errno == EAGAIN || errno == EBUSY;
    ::close(fd);
    return in_use;
}

bool is_draft_in_use(std::string_view message_dir) {
    return is_file_open_elsewhere(part_file(message_dir, 0)) || is_file_open_elsewhere(part_file(message_dir, 1));
}

}  // namespace qm
