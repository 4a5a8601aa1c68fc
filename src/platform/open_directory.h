#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A directory held open, whose entries are read, written, renamed and
// removed by names relative to it ("name" or "sub/name", CP932), so that a
// run over many files neither looks the directory up again from the root nor
// checks beforehand what a single step can find out itself. Each step
// returns whether it succeeded, with errno set as the system call left it.
class open_directory {
public:
    open_directory() = default;
    explicit open_directory(std::string_view path) { open(path); }
    ~open_directory() { close(); }
    open_directory(const open_directory&) = delete;
    open_directory& operator=(const open_directory&) = delete;

    bool open(std::string_view path);
    void close();
    bool is_open() const { return fd_ >= 0; }

    // The names of the directory's sub-directories that are no symbolic
    // links, without "." and "..", in listing order; names without a CP932
    // form are left out. nullopt when it cannot be listed.
    // `hidden` false leaves out names that begin with "." before looking at
    // them further: a folder of 100,000 message directories lists quickly.
    std::optional<std::vector<std::string>> subdirectory_names(bool hidden = true) const;

    // The whole of a regular file, and its status (mode, times) when asked
    // for; false for anything else under the name. With a `size_limit`, a
    // larger file is not read: false, with errno EFBIG.
    bool read_file(std::string_view name, std::string& bytes, struct stat* status = nullptr,
                   std::int64_t size_limit = 0) const;
    // The whole of a file, read without looking at it first: two system
    // calls fewer than read_file for a run over many small files, as the
    // list of a large folder makes. A directory gives false, a named pipe no
    // bytes (it is never waited on).
    bool read_small_file(std::string_view name, std::string& bytes) const;
    // The first `limit` bytes of a file (all of a shorter one), read as
    // read_small_file reads; with an `end_mark`, reading may stop once it
    // has come (the bytes then hold it, and maybe a little more).
    bool read_file_start(std::string_view name, std::string& bytes, std::size_t limit,
                         std::string_view end_mark = {}) const;
    // The size of a file in bytes; -1 when there is none.
    std::int64_t file_size(std::string_view name) const;
    // Creates the file exclusively with `mode` (before the umask) and writes
    // the bytes into it in one step; with `times`, they become its access and
    // last-write times. On a failure nothing is left under the name.
    bool write_new_file(std::string_view name, std::string_view bytes, unsigned mode,
                        const struct timespec* times = nullptr) const;
    // The same for text (LF line ends) written in its file form (CR LF, as
    // text_mode_bytes makes it), a piece at a time: no second copy of a
    // large text.
    bool write_new_text_file(std::string_view name, std::string_view text, unsigned mode) const;
    // Gives the file `from_name` of `from` the name `name` here as well (a
    // hard link): no byte is copied. False when the file systems or the
    // file system do not allow it, or the name is taken.
    bool link_from(const open_directory& from, std::string_view from_name, std::string_view name) const;
    bool make_directory(std::string_view name) const;
    // Never replaces an existing target.
    bool rename_new(std::string_view from, std::string_view to) const;
    bool remove_file(std::string_view name) const;
    // The directory's own entries to the disk.
    bool flush() const;
    // Everything written to the file system the directory lies on, to the
    // disk (syncfs): one pass for many new files, whoever wrote them.
    bool flush_file_system() const;
    // The directory's own status (fstat); false when it is not open.
    bool status(struct stat& out) const;
    // Whether both directories lie on one file system (false when either
    // cannot be looked at).
    bool on_same_file_system(const open_directory& other) const;

private:
    bool write_new(std::string_view name, unsigned mode, const struct timespec* times,
                   const std::function<bool(int)>& write) const;

    int fd_ = -1;
};

// The bytes of the file at `path`, read whole as read_small_file reads;
// false when it cannot be opened or read.
bool read_whole_file(std::string_view path, std::string& bytes);

}  // namespace qm
