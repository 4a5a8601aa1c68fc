#include "platform/unique_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/cp932.h"
#include "platform/file_handle.h"

namespace qm {

std::optional<std::string> create_unique_file(std::string_view directory, std::string_view name_template) {
    std::string path = std::string(directory) + std::string(name_template);
    std::size_t run_start = path.find('$', directory.size());
    if (run_start == std::string::npos) return std::nullopt;
    std::size_t run_length = path.find_first_not_of('$', run_start);
    run_length = (run_length == std::string::npos ? path.size() : run_length) - run_start;

    unsigned long limit = 1;
    for (std::size_t i = 0; i < run_length && limit < 1000000000UL; ++i) limit *= 10;
    for (unsigned long k = 0; k < limit; ++k) {
        std::string digits = std::to_string(k);
        path.replace(run_start, run_length, std::string(run_length - digits.size(), '0') + digits);
        std::string disk = disk_path(path);
        if (disk.empty()) return std::nullopt;
        int fd = ::open(disk.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, new_file_mode);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace qm
