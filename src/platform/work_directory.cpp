#include "platform/work_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "base/numbered_names.h"
#include "platform/cp932.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
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

// The download number a work file belongs to: "<n>.pop", "<n>.uid" and
// "<n>.filed" give n; "" for other names.
std::string_view download_number_of(std::string_view name) {
    for (std::string_view suffix : {download_suffix, received_id_suffix, filing_note_suffix}) {
        std::string_view stem = numbered_stem(name, suffix);
        if (!stem.empty()) return stem;
    }
    return {};
}

bool is_kept_note(const std::string& work, std::string_view name) {
    if (!numbered_stem(name, received_id_suffix).empty()) return true;
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
        std::string_view stem = download_number_of(name);
        // Longer numbers than any run could reach are nobody's downloads.
        if (stem.empty() || stem.size() > 18) continue;
        next = std::max<std::uint64_t>(next, std::stoull(std::string(stem)) + 1);
    }
    return next;
}

std::string received_id_path(std::string_view work_directory, std::uint64_t number) {
    return std::string(work_directory) + std::to_string(number) + std::string(received_id_suffix);
}

std::vector<std::string> received_id_notes(std::string_view work_directory) {
    std::vector<std::string> names;
    if (auto listed = read_directory_names(work_directory)) {
        for (std::string& name : *listed) {
            if (!numbered_stem(name, received_id_suffix).empty()) names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return decimal_less(numbered_stem(a, received_id_suffix), numbered_stem(b, received_id_suffix));
    });
    return names;
}

void complete_noted_downloads(std::string_view work_directory) {
    const std::string work(work_directory);
    for (const std::string& note : received_id_notes(work)) {
        std::string download = work + std::string(numbered_stem(note, received_id_suffix)) + std::string(download_suffix);
        std::string partial = download + std::string(partial_suffix);
        if (path_exists(partial) && !path_exists(download)) rename_path(partial, download);
    }
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
    int fd = ::open(disk.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, new_file_mode);
    if (fd < 0) return false;
    file_.reset(::fdopen(fd, "wb"));
    if (!file_) {
        ::close(fd);
        ::unlink(disk.c_str());
        return false;
    }
    path_ = std::move(path);
    buffer_.resize(download_buffer_size);
    std::setvbuf(file_.get(), buffer_.data(), _IOFBF, buffer_.size());
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
    if (ok_ && file_ && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) ok_ = false;
    return ok_;
}

bool whole_file_writer::finish() {
    if (file_ && !close_checked(file_)) ok_ = false;
    return ok_ && !path_.empty();
}

bool whole_file_writer::commit() {
    bool ok = finish() && rename_path(path_ + std::string(partial_suffix), path_);
    if (ok) path_.clear();
    else abandon();
    return ok;
}

void whole_file_writer::abandon() {
    if (path_.empty()) return;
    if (file_) file_.reset();
    std::string disk = disk_path(path_ + std::string(partial_suffix));
    if (!disk.empty()) ::unlink(disk.c_str());
    path_.clear();
}

}  // namespace qm
