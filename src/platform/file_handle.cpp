#include "platform/file_handle.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/cp932.h"

namespace qm {

file_handle open_file(std::string_view path, const char* mode) {
    std::string name = disk_path(path);
    if (name.empty()) return nullptr;
    return file_handle(std::fopen(name.c_str(), mode));
}

file_handle create_file(std::string_view path, bool append) {
    std::string name = disk_path(path);
    if (name.empty()) return nullptr;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    int fd = ::open(name.c_str(), flags, new_file_mode);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, append ? "ab" : "wb");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    return file_handle(f);
}

bool read_binary_file(std::string_view path, std::string& contents) {
    contents.clear();
    file_handle f = open_file(path, "rb");
    if (!f) return false;
    std::string buffer(65536, '\0');
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f.get())) > 0) contents.append(buffer, 0, n);
    return !std::ferror(f.get());
}

bool close_checked(file_handle& file) {
    if (!file) return false;
    bool ok = !std::ferror(file.get());
    ok = (std::fclose(file.release()) == 0) && ok;
    return ok;
}

bool write_binary_file(std::string_view path, std::string_view contents) {
    file_handle f = create_file(path);
    if (!f) return false;
    bool ok = std::fwrite(contents.data(), 1, contents.size(), f.get()) == contents.size();
    ok = close_checked(f) && ok;
    if (!ok) ::unlink(disk_path(path).c_str());
    return ok;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace qm
