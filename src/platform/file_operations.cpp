#include "platform/file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/attributes.h"
#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/directory_walker.h"
#include "platform/file_handle.h"
#include "platform/text_file.h"
#include "platform/trash.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr std::size_t copy_block = 65536;

std::string disk(std::string_view path) { return disk_path(trimmed_path(path)); }

std::string parent_of(const std::string& disk_name) {
    std::size_t slash = disk_name.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : disk_name.substr(0, slash);
}

// Linux lets a directory without write permission refuse the removal of its
// entries, which a read-only mark in the store is not meant to do. The
// parent is made writable for the one step and then given its mode back.
template <typename Step>
bool retry_with_writable_parent(const std::string& disk_name, Step step) {
    if (step()) return true;
    if (errno != EACCES && errno != EPERM) return false;
    std::string parent = parent_of(disk_name);
    struct stat status;
    if (::stat(parent.c_str(), &status) != 0 || (status.st_mode & S_IWUSR)) return false;
    if (::chmod(parent.c_str(), (status.st_mode & 07777) | S_IWUSR) != 0) return false;
    bool ok = step();
    ::chmod(parent.c_str(), status.st_mode & 07777);
    return ok;
}

bool copy_bytes(int from, int to) {
    std::string buffer(copy_block, '\0');
    for (;;) {
        ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        for (ssize_t done = 0; done < n;) {
            ssize_t written = ::write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return false;
            done += written;
        }
    }
}

bool copy_symlink(const std::string& from, const std::string& to) {
    std::string target(4096, '\0');
    ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return false;
    target.resize(static_cast<std::size_t>(n));
    ::unlink(to.c_str());
    return ::symlink(target.c_str(), to.c_str()) == 0;
}

}  // namespace

namespace {

template <typename Flush>
bool flush_through(std::string_view path, Flush flush) {
    std::string name = disk(path);
    if (name.empty()) return false;
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = flush(fd) == 0;
    return ::close(fd) == 0 && ok;
}

}  // namespace

bool flush_file_system(std::string_view path) { return flush_through(path, ::syncfs); }

std::string with_final_slash(std::string_view path) {
    std::string text(path);
    if (text.empty() || text.back() != '/') text.push_back('/');
    return text;
}

std::string trimmed_path(std::string_view path) {
    // A final backslash may be the second byte of a double-byte character (表 is
    // 95 5C): only a separator that stands on its own is cut.
    for (;;) {
        if (path.size() <= 1) break;
        if (path.back() == '/') {
            path.remove_suffix(1);
        } else if (path.back() == '\\' && mbs_find_last_char(path, '\\') == path.size() - 1) {
            path.remove_suffix(1);
        } else {
            break;
        }
    }
    return std::string(path);
}

bool path_exists(std::string_view path) {
    std::string name = disk(path);
    struct stat status;
    return !name.empty() && ::lstat(name.c_str(), &status) == 0;
}

std::int64_t file_size(std::string_view path) {
    std::string name = disk(path);
    struct stat status;
    if (name.empty() || ::stat(name.c_str(), &status) != 0) return -1;
    return static_cast<std::int64_t>(status.st_size);
}

bool make_directory(std::string_view path) {
    std::string name = disk(path);
    if (name.empty()) {
        errno = EINVAL;
        return false;
    }
    return ::mkdir(name.c_str(), 0700) == 0;
}

bool directory_exists(std::string_view path) {
    std::string name = disk(path);
    struct stat status;
    return !name.empty() && ::stat(name.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int count_subdirectories(std::string_view path) {
    std::string listed(path);
    if (listed.empty() || listed.back() != '/') listed += '/';
    directory_walker walker(listed);
    if (!walker.is_open()) return -1;
    int count = 0;
    dir_entry entry;
    while (walker.next(entry)) {
        if (entry.directory && entry.name != "." && entry.name != "..") ++count;
    }
    return count;
}

bool remove_directory(std::string_view path) {
    std::string name = disk(path);
    if (name.empty()) return false;
    if (is_hidden_name(path)) return ::rmdir(name.c_str()) == 0;
    return retry_with_writable_parent(name, [&] { return ::rmdir(name.c_str()) == 0; });
}

bool rename_path(std::string_view from, std::string_view to) {
    std::string source = disk(from);
    std::string target = disk(to);
    if (source.empty() || target.empty()) return false;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without RENAME_NOREPLACE: test, then rename.
    struct stat status;
    if (::lstat(target.c_str(), &status) == 0) return false;
    return std::rename(source.c_str(), target.c_str()) == 0;
}

bool delete_file(std::string_view path, bool to_trash) {
    if (to_trash) return move_to_trash(path);
    std::string name = disk(path);
    if (name.empty()) return false;
    if (is_hidden_name(path)) return ::unlink(name.c_str()) == 0;
    return retry_with_writable_parent(name, [&] { return ::unlink(name.c_str()) == 0; });
}

bool copy_file(std::string_view source, std::string_view target, bool replace) {
    if (replace && path_exists(target) && !move_to_trash(target)) return false;
    std::string from = disk(source);
    std::string to = disk(target);
    if (from.empty() || to.empty()) return false;
    struct stat status;
    if (::lstat(from.c_str(), &status) != 0) return false;
    if (S_ISLNK(status.st_mode)) return copy_symlink(from, to);

    // Written beside the target and renamed into place, so that an existing
    // target is never left half-overwritten. The name is made exclusively: a
    // file that already bears it (the source, or one of the user's) stays.
    std::string temporary = disk_path(companion_path(trimmed_path(target)));
    if (temporary.empty()) temporary = to + "$";
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    if (::fstat(in, &status) != 0 || S_ISDIR(status.st_mode)) {
        ::close(in);
        return false;
    }
    int out = -1;
    for (int tries = 0; out < 0 && tries < 100; ++tries) {
        out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (out < 0 && errno != EEXIST) break;
        if (out < 0) temporary += '$';
    }
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = copy_bytes(in, out);
    ::close(in);
    struct timespec times[2] = {status.st_atim, status.st_mtim};
    ok = ok && ::fchmod(out, status.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
    ok = ::close(out) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), to.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

bool write_text_file(std::string_view path, std::string_view text) {
    text_writer writer;
    if (!writer.open(path)) return false;
    bool ok = writer.write(text);
    ok = writer.close() && ok;
    if (!ok) ::unlink(disk(path).c_str());
    return ok;
}

bool append_text(std::string_view path, std::string_view text) {
    text_writer writer;
    if (!writer.open(path, true)) return false;
    bool ok = writer.write(text);
    return writer.close() && ok;
}

bool ensure_final_newline(std::string_view path) {
    std::string name = disk(path);
    if (name.empty()) return false;
    int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    off_t size = ::lseek(fd, 0, SEEK_END);
    bool ok = size >= 0;
    char last = '\n';
    if (ok && size > 0) ok = ::pread(fd, &last, 1, size - 1) == 1;
    if (ok && (size == 0 || last != '\n')) {
        off_t end = last == '\x1a' && size > 0 ? size - 1 : size;
        ok = ::ftruncate(fd, end) == 0 && ::pwrite(fd, "\r\n", 2, end) == 2;
    }
    return ::close(fd) == 0 && ok;
}

}  // namespace qm
