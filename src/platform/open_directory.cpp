#include "platform/open_directory.h"

#include <functional>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/cp932.h"
#include "platform/file_handle.h"

namespace qm {

namespace {

// Retries a system call that a signal interrupted.
template <typename Call>
auto retried(Call call) {
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

// Most files the store reads (headers, status files) fit in one block; the
// block is kept per thread, so no read pays for clearing a fresh buffer.
constexpr std::size_t read_block = 65536;
// Text is turned into its file form (CR LF) this much at a time.
constexpr std::size_t text_write_chunk = 65536;

// Reads to the end; a short read of a regular file is its end, a full block
// may have more behind it.
bool read_to_end(int fd, std::string& bytes) {
    thread_local std::vector<char> block(read_block);
    bytes.clear();
    for (;;) {
        ssize_t n = retried([&] { return ::read(fd, block.data(), block.size()); });
        if (n < 0) return false;
        bytes.append(block.data(), static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < block.size()) return true;
    }
}

// Reads up to `limit` bytes, a block at a time, and stops after the block
// in which `end_mark` shows (when one is given).
bool read_up_to(int fd, std::string& bytes, std::size_t limit, std::string_view end_mark) {
    constexpr std::size_t start_block = 16384;
    std::size_t done = 0;
    while (done < limit) {
        const std::size_t block = std::min(limit - done, std::max(start_block, done));
        bytes.resize(done + block);
        ssize_t n = retried([&] { return ::read(fd, bytes.data() + done, block); });
        if (n < 0) return false;
        if (n == 0) break;
        const std::size_t searched_from = done >= end_mark.size() ? done - end_mark.size() + 1 : 0;
        done += static_cast<std::size_t>(n);
        if (!end_mark.empty() && std::string_view(bytes.data(), done).find(end_mark, searched_from) != std::string_view::npos)
            break;
    }
    bytes.resize(done);
    return true;
}

bool read_opened(int fd, std::string& bytes) {
    bytes.clear();
    if (fd < 0) return false;
    bool ok = read_to_end(fd, bytes);
    ::close(fd);
    return ok;
}

}  // namespace

bool open_directory::open(std::string_view path) {
    close();
    std::string name = disk_path(path);
    if (name.empty()) return false;
    fd_ = retried([&] { return ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    return fd_ >= 0;
}

void open_directory::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool open_directory::read_file(std::string_view name, std::string& bytes, struct stat* status,
                               std::int64_t size_limit) const {
    std::string disk = disk_path(name);
    if (disk.empty()) return false;
    // Not blocking: a named pipe under the name is refused below instead of
    // waiting for a writer.
    int fd = retried([&] { return ::openat(fd_, disk.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) return false;
    struct stat own;
    if (!status) status = &own;
    const bool stated = ::fstat(fd, status) == 0;
    bool ok = stated && S_ISREG(status->st_mode);
    // Why, for a caller that tells the user.
    if (stated && !ok) errno = S_ISDIR(status->st_mode) ? EISDIR : EINVAL;
    if (ok && size_limit > 0 && status->st_size > size_limit) {
        ok = false;
        errno = EFBIG;
    }
    // One byte more than the size: a read that fills less than it asked for
    // has met the end of a regular file, so that the usual file takes one read.
    std::size_t filled = 0;
    bytes.resize(ok ? static_cast<std::size_t>(status->st_size) + 1 : 0);
    while (ok) {
        ssize_t n = retried([&] { return ::read(fd, bytes.data() + filled, bytes.size() - filled); });
        if (n < 0) ok = false;
        if (n <= 0) break;
        filled += static_cast<std::size_t>(n);
        if (filled < bytes.size()) break;
        bytes.resize(bytes.size() * 2);  // the file grew while it was read
    }
    bytes.resize(filled);
    ::close(fd);
    return ok;
}

std::optional<std::vector<std::string>> open_directory::subdirectory_names(bool hidden) const {
    if (fd_ < 0) return std::nullopt;
    // The listing gets a descriptor of its own: closedir closes it.
    int listing_fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing_fd < 0) return std::nullopt;
    DIR* dir = ::fdopendir(listing_fd);
    if (!dir) {
        ::close(listing_fd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (dirent* raw = ::readdir(dir)) {
        std::string_view name = raw->d_name;
        if (name == "." || name == ".." || (!hidden && name.front() == '.')) continue;
        bool directory = raw->d_type == DT_DIR;
        if (raw->d_type == DT_UNKNOWN) {
            // Some file systems do not tell the type in the listing.
            struct stat status;
            directory = ::fstatat(fd_, raw->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
        }
        if (!directory) continue;
        if (auto converted = program_name(name)) names.push_back(std::move(*converted));
    }
    ::closedir(dir);
    return names;
}

bool open_directory::read_small_file(std::string_view name, std::string& bytes) const {
    std::string disk = disk_path(name);
    if (fd_ < 0 || disk.empty()) {
        bytes.clear();
        return false;
    }
    return read_opened(retried([&] { return ::openat(fd_, disk.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }),
                       bytes);
}

bool open_directory::read_file_start(std::string_view name, std::string& bytes, std::size_t limit,
                                     std::string_view end_mark) const {
    std::string disk = disk_path(name);
    bytes.clear();
    if (fd_ < 0 || disk.empty()) return false;
    int fd = retried([&] { return ::openat(fd_, disk.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) return false;
    bool ok = read_up_to(fd, bytes, limit, end_mark);
    ::close(fd);
    return ok;
}

std::int64_t open_directory::file_size(std::string_view name) const {
    std::string disk = disk_path(name);
    struct stat status;
    if (fd_ < 0 || disk.empty() || ::fstatat(fd_, disk.c_str(), &status, 0) != 0) return -1;
    return static_cast<std::int64_t>(status.st_size);
}

bool open_directory::write_new_file(std::string_view name, std::string_view bytes, unsigned mode,
                                    const struct timespec* times) const {
    return write_new(name, mode, times, [&](int fd) { return write_all(fd, bytes); });
}

bool open_directory::write_new_text_file(std::string_view name, std::string_view text, unsigned mode) const {
    return write_new(name, mode, nullptr, [&](int fd) {
        std::string chunk;
        chunk.reserve(2 * text_write_chunk);
        for (std::size_t start = 0; start < text.size(); start += text_write_chunk) {
            chunk.clear();
            std::string_view piece = text.substr(start, text_write_chunk);
            for (std::size_t line_end; (line_end = piece.find('\n')) != std::string_view::npos;) {
                chunk.append(piece.substr(0, line_end)).append("\r\n");
                piece.remove_prefix(line_end + 1);
            }
            chunk.append(piece);
            if (!write_all(fd, chunk)) return false;
        }
        return true;
    });
}

bool open_directory::write_new(std::string_view name, unsigned mode, const struct timespec* times,
                               const std::function<bool(int)>& write) const {
    std::string disk = disk_path(name);
    if (disk.empty()) return false;
    int fd = retried([&] { return ::openat(fd_, disk.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode); });
    if (fd < 0) return false;
    bool ok = write(fd);
    if (ok && times) {
        const struct timespec both[2] = {times[0], times[1]};
        ok = ::futimens(fd, both) == 0;
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        int error = errno;
        ::unlinkat(fd_, disk.c_str(), 0);
        errno = error;
    }
    return ok;
}

bool open_directory::link_from(const open_directory& from, std::string_view from_name, std::string_view name) const {
    std::string source = disk_path(from_name);
    std::string target = disk_path(name);
    return !source.empty() && !target.empty() && ::linkat(from.fd_, source.c_str(), fd_, target.c_str(), 0) == 0;
}

bool open_directory::make_directory(std::string_view name) const {
    std::string disk = disk_path(name);
    return !disk.empty() && ::mkdirat(fd_, disk.c_str(), 0700) == 0;
}

bool open_directory::rename_new(std::string_view from, std::string_view to) const {
    std::string source = disk_path(from);
    std::string target = disk_path(to);
    if (source.empty() || target.empty()) return false;
    if (::renameat2(fd_, source.c_str(), fd_, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without RENAME_NOREPLACE: test, then rename.
    struct stat status;
    if (::fstatat(fd_, target.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(fd_, source.c_str(), fd_, target.c_str()) == 0;
}

bool open_directory::remove_file(std::string_view name) const {
    std::string disk = disk_path(name);
    return !disk.empty() && ::unlinkat(fd_, disk.c_str(), 0) == 0;
}

bool open_directory::flush() const { return ::fsync(fd_) == 0; }

bool open_directory::flush_file_system() const { return ::syncfs(fd_) == 0; }

bool open_directory::status(struct stat& out) const { return fd_ >= 0 && ::fstat(fd_, &out) == 0; }

bool open_directory::on_same_file_system(const open_directory& other) const {
    struct stat mine, theirs;
    return ::fstat(fd_, &mine) == 0 && ::fstat(other.fd_, &theirs) == 0 && mine.st_dev == theirs.st_dev;
}

bool read_whole_file(std::string_view path, std::string& bytes) {
    std::string disk = disk_path(path);
    if (disk.empty()) {
        bytes.clear();
        return false;
    }
    return read_opened(retried([&] { return ::open(disk.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }), bytes);
}

}  // namespace qm
