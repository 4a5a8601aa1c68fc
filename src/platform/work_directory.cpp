#include "platform/work_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <set>

#include "base/numbered_names.h"
#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/open_directory.h"
#include "platform/text_file.h"
#include "platform/tree_operations.h"

namespace qm {

namespace {

// The number part of "<n><suffix>", or "" when the name is not of that form.
std::string_view numbered_stem(std::string_view name, std::string_view suffix) {
    if (name.size() <= suffix.size() || !name.ends_with(suffix)) return {};
    std::string_view stem = name.substr(0, name.size() - suffix.size());
    return is_decimal(stem) ? stem : std::string_view();
}

// The download number a work file belongs to: "<n>.pop", "<n>.uid",
// "<n>.ids" and "<n>.filed" give n; "" for other names.
std::string_view download_number_of(std::string_view name) {
    for (std::string_view suffix : {download_suffix, received_id_suffix, received_ids_suffix, filing_note_suffix}) {
        std::string_view stem = numbered_stem(name, suffix);
        if (!stem.empty()) return stem;
    }
    return {};
}

// The number part of an id note's name, of either form.
std::string_view id_note_stem(std::string_view name) {
    std::string_view stem = numbered_stem(name, received_ids_suffix);
    return stem.empty() ? numbered_stem(name, received_id_suffix) : stem;
}

// Longer numbers than any run could reach are nobody's downloads.
constexpr std::size_t longest_download_number = 18;

std::optional<std::uint64_t> download_number(std::string_view digits) {
    if (digits.empty() || digits.size() > longest_download_number || !is_decimal(digits)) return std::nullopt;
    std::uint64_t number = 0;
    for (char digit : digits) number = number * 10 + static_cast<std::uint64_t>(digit - '0');
    return number;
}

bool is_kept_note(const std::string& work, std::string_view name) {
    if (!id_note_stem(name).empty()) return true;
    std::string_view filed = numbered_stem(name, filing_note_suffix);
    return !filed.empty() && path_exists(work + std::string(filed) + std::string(download_suffix));
}

std::string owner_path(std::string_view work) { return std::string(work) + std::string(download_owner_name); }

bool is_outgoing_name(std::string_view name) {
    for (std::string_view suffix : {outgoing_suffix, envelope_suffix, reference_suffix}) {
        if (name.size() > suffix.size() && name.ends_with(suffix)) return true;
    }
    return false;
}

std::string beside_outgoing(std::string_view outgoing_file, std::string_view suffix) {
    std::string_view stem = outgoing_file;
    if (stem.ends_with(outgoing_suffix)) stem.remove_suffix(outgoing_suffix.size());
    return std::string(stem) + std::string(suffix);
}

}  // namespace

std::string download_path(std::string_view work_directory, std::uint64_t number) {
    return std::string(work_directory) + std::to_string(number) + std::string(download_suffix);
}

namespace {

// Whether the entry is neither a directory nor a symbolic link, from the
// listing's own type where the file system gives one, so that a directory
// of many downloads is not looked at file by file.
bool is_file_entry(DIR* directory, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type != DT_DIR && entry.d_type != DT_LNK;
    struct stat status;
    return ::fstatat(::dirfd(directory), entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           !S_ISDIR(status.st_mode) && !S_ISLNK(status.st_mode);
}

}  // namespace

std::vector<std::string> download_files(std::string_view work_directory) {
    std::vector<std::string> names;
    std::string disk = disk_path(work_directory);
    DIR* directory = disk.empty() ? nullptr : ::opendir(disk.c_str());
    while (directory) {
        const dirent* entry = ::readdir(directory);
        if (!entry) break;
        std::string_view name = entry->d_name;
        if (numbered_stem(name, download_suffix).empty() || !is_file_entry(directory, *entry)) continue;
        names.emplace_back(name);  // digits and ".pop": the same in CP932
    }
    if (directory) ::closedir(directory);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return decimal_less(numbered_stem(a, download_suffix), numbered_stem(b, download_suffix));
    });
    return names;
}

std::uint64_t next_download_number(std::string_view work_directory) {
    std::uint64_t next = 0;
    auto names = read_directory_names(work_directory);
    if (!names) return next;
    for (const std::string& name : *names) {
        if (auto number = download_number(download_number_of(name))) next = std::max(next, *number + 1);
        // A note of a receive names downloads after its own number.
        if (numbered_stem(name, received_ids_suffix).empty()) continue;
        std::vector<noted_id> entries;
        read_received_id_note(std::string(work_directory) + name, entries);
        for (const noted_id& entry : entries) next = std::max(next, entry.number + 1);
    }
    return next;
}

namespace {

// The notes a receive of this process is writing. The receive and the
// filing of its downloads run at the same time, and filing gives noted
// partial downloads their names: one that the receive is about to name
// itself must be left to it.
std::mutex open_notes_mutex;
std::set<std::string, std::less<>> open_notes;

bool is_open_note(std::string_view path) {
    std::lock_guard<std::mutex> lock(open_notes_mutex);
    return open_notes.contains(path);
}

// "<n>.ids": the list's path on the first line, then "<number> <id>" lines.
void read_ids_lines(std::string_view bytes, std::vector<noted_id>& entries) {
    std::size_t end = bytes.find('\n');
    if (end == 0 || end == std::string_view::npos) return;
    const std::string list_path(bytes.substr(0, end));
    for (std::size_t start = end + 1; (end = bytes.find('\n', start)) != std::string_view::npos; start = end + 1) {
        std::string_view line = bytes.substr(start, end + 1 - start);
        std::size_t space = line.find(' ');
        auto number = space == std::string_view::npos ? std::nullopt : download_number(line.substr(0, space));
        // An id of at least one character, with its line feed.
        if (!number || line.size() - space < 3) continue;
        entries.push_back({*number, list_path, std::string(line.substr(space + 1))});
    }
}

}  // namespace

std::vector<std::string> received_id_notes(std::string_view work_directory) {
    std::vector<std::string> names;
    if (auto listed = read_directory_names(work_directory)) {
        for (std::string& name : *listed) {
            if (!id_note_stem(name).empty() && !is_open_note(std::string(work_directory) + name))
                names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return decimal_less(id_note_stem(a), id_note_stem(b));
    });
    return names;
}

bool read_received_id_note(std::string_view path, std::vector<noted_id>& entries) {
    const std::size_t before = entries.size();
    std::string_view name = path.substr(path.find_last_of('/') + 1);
    if (!numbered_stem(name, received_ids_suffix).empty()) {
        std::string bytes;
        if (!read_whole_file(path, bytes)) return false;
        read_ids_lines(bytes, entries);
        const std::size_t list_end = bytes.find('\n');
        return list_end != std::string::npos && list_end > 0;
    }
    // "<n>.uid": the list's path, then the id.
    auto number = download_number(numbered_stem(name, received_id_suffix));
    std::string text;
    if (!number || !read_text_file(path, text)) return false;
    std::size_t line_end = text.find('\n');
    if (line_end == std::string::npos || line_end == 0) return false;
    entries.push_back({*number, text.substr(0, line_end), text.substr(line_end + 1)});
    return entries.size() > before;
}

void complete_noted_downloads(std::string_view work_directory) {
    const std::string work(work_directory);
    for (const std::string& note : received_id_notes(work)) {
        std::vector<noted_id> entries;
        read_received_id_note(work + note, entries);
        for (const noted_id& entry : entries) {
            // Never over a download of that name: the rename itself refuses.
            const std::string download = download_path(work, entry.number);
            rename_path(download + std::string(partial_suffix), download);
        }
    }
}

bool received_id_note::append(std::string_view work_directory, std::uint64_t number, std::string_view list_path,
                              std::string_view id) {
    std::string text;
    // A note that failed once takes nothing more: a line cut short must stay its last.
    if (failed_) return false;
    if (fd_ < 0) {
        path_ = std::string(work_directory) + std::to_string(number) + std::string(received_ids_suffix);
        const std::string disk = disk_path(path_);
        fd_ = disk.empty() ? -1 : ::open(disk.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, new_file_mode);
        failed_ = fd_ < 0;
        if (failed_) return false;
        std::lock_guard<std::mutex> lock(open_notes_mutex);
        open_notes.insert(path_);
        text.append(list_path).push_back('\n');
    }
    text.append(std::to_string(number)).append(" ").append(id);
    if (write_all(fd_, text)) return true;
    const int error = errno;
    failed_ = true;
    close();
    errno = error;
    return false;
}

void received_id_note::close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    std::lock_guard<std::mutex> lock(open_notes_mutex);
    open_notes.erase(path_);
}

bool received_id_note::remove() {
    close();
    return path_.empty() || delete_file(path_) || !path_exists(path_);
}

std::string outgoing_path(std::string_view work_directory, std::string_view message_dir_name) {
    if (message_dir_name.starts_with('.')) message_dir_name.remove_prefix(1);
    return std::string(work_directory) + std::string(message_dir_name) + std::string(outgoing_suffix);
}

std::string envelope_path(std::string_view outgoing_file) { return beside_outgoing(outgoing_file, envelope_suffix); }

std::vector<std::string> outgoing_files(std::string_view work_directory) {
    std::vector<std::string> names;
    if (auto listed = read_directory_names(work_directory)) {
        for (std::string& name : *listed) {
            if (name.size() > outgoing_suffix.size() && name.ends_with(outgoing_suffix)) names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        std::string_view number_a = numbered_stem(a, outgoing_suffix), number_b = numbered_stem(b, outgoing_suffix);
        if (number_a.empty() != number_b.empty()) return !number_a.empty();
        return number_a.empty() ? a < b : decimal_less(number_a, number_b);
    });
    return names;
}

void remove_outgoing_files(std::string_view work_directory) {
    if (auto names = read_directory_names(work_directory)) {
        for (const std::string& name : *names) {
            if (is_outgoing_name(name)) delete_file(std::string(work_directory) + name);
        }
    }
    std::string list = prepared_list_path(work_directory);
    if (path_exists(list)) delete_file(list);
}

std::string prepared_list_path(std::string_view work_directory) {
    return std::string(work_directory) + std::string(prepared_list_name);
}

std::string draft_assembly_path(std::string_view work_directory) {
    return std::string(work_directory) + std::string(draft_folder_name);
}

void note_download_owner(std::string_view work_directory, std::string_view account_root) {
    // Only a hint for the next round: without it, leftovers go to the account
    // that round is for.
    write_text_file(owner_path(work_directory), std::string(account_root) + "\n");
}

std::string download_owner(std::string_view work_directory) {
    text_reader reader(owner_path(work_directory));
    std::string root;
    if (!reader.is_open() || !reader.read_line(root) || root.empty() || root.back() != '/') return {};
    return root;
}

void forget_download_owner_when_filed(std::string_view work_directory) {
    std::string path = owner_path(work_directory);
    if (download_files(work_directory).empty() && path_exists(path)) delete_file(path);
}

bool make_work_directory(std::string_view work_directory) {
    return directory_exists(work_directory) || make_directory(work_directory);
}

bool remove_work_directory_if_done(std::string_view work_directory) {
    const std::string work(work_directory);
    if (!directory_exists(work)) return true;
    complete_noted_downloads(work);
    std::vector<std::string> downloads = download_files(work);
    if (downloads.empty() && received_id_notes(work).empty()) return delete_tree(work, false);

    std::set<std::string, std::less<>> kept(downloads.begin(), downloads.end());
    kept.insert(std::string(download_owner_name));
    std::vector<dir_entry> doomed;
    {
        directory_walker walker(work);
        dir_entry entry;
        while (walker.next(entry)) {
            if (entry.name == "." || entry.name == "..") continue;
            if (!entry.directory && (kept.contains(entry.name) || is_kept_note(work, entry.name))) continue;
            doomed.push_back(entry);
        }
    }
    bool ok = true;
    for (const dir_entry& entry : doomed) {
        bool removed = entry.directory && !entry.symlink ? delete_tree(work + entry.name + "/", false)
                                                          : delete_file(work + entry.name);
        ok = removed && ok;
    }
    return ok;
}

bool whole_file_writer::open(std::string path) {
    abandon();
    std::string disk = disk_path(path + std::string(partial_suffix));
    if (disk.empty()) return false;
    // Only a partial file made here is ever removed here: one that exists is
    // another writer's.
    fd_ = ::open(disk.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, new_file_mode);
    if (fd_ < 0) return false;
    path_ = std::move(path);
    buffer_.clear();
    buffer_.reserve(download_buffer_size);
    ok_ = true;
    return true;
}

bool whole_file_writer::open_next_download(std::string_view work_directory, std::optional<std::uint64_t>& next) {
    if (!next) next = next_download_number(work_directory);
    for (;; ++*next) {
        std::string path = download_path(work_directory, *next);
        if (path_exists(path)) continue;
        if (open(path)) {
            ++*next;
            return true;
        }
        // A partial file of that number is some other writer's: try the next.
        if (errno != EEXIST) return false;
    }
}

bool whole_file_writer::open_next_download(std::string_view work_directory) {
    std::optional<std::uint64_t> next;
    return open_next_download(work_directory, next);
}

bool whole_file_writer::write(std::string_view bytes) {
    if (!ok_ || fd_ < 0) return ok_;
    if (buffer_.size() + bytes.size() > download_buffer_size) {
        ok_ = write_all(fd_, buffer_);
        buffer_.clear();
        if (ok_ && bytes.size() >= download_buffer_size) return ok_ = write_all(fd_, bytes);
    }
    if (ok_) buffer_.append(bytes);
    return ok_;
}

bool whole_file_writer::finish() {
    if (fd_ >= 0) {
        if (ok_ && !buffer_.empty()) ok_ = write_all(fd_, buffer_);
        buffer_.clear();
        if (::close(fd_) != 0) ok_ = false;
        fd_ = -1;
    }
    return ok_ && !path_.empty();
}

bool whole_file_writer::commit() {
    bool ok = finish() && rename_path(path_ + std::string(partial_suffix), path_);
    if (ok) path_.clear();
    else abandon();
    return ok;
}

void whole_file_writer::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    if (path_.empty()) return;
    std::string disk = disk_path(path_ + std::string(partial_suffix));
    if (!disk.empty()) ::unlink(disk.c_str());
    path_.clear();
}

}  // namespace qm
