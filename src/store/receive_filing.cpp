#include "store/receive_filing.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstddef>
#include <new>
#include <optional>
#include <set>

#include "base/format.h"
#include "message/header_fields.h"
#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "platform/directory_walker.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/kill_point.h"
#include "platform/open_directory.h"
#include "platform/program_context.h"
#include "platform/string_table.h"
#include "platform/text_file.h"
#include "platform/tree_operations.h"
#include "platform/work_directory.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "base/find_nocase.h"

namespace qm {

namespace {

// Files "0" and "1" of a message are read-only from the start.
constexpr unsigned read_only_file_mode = new_file_mode & ~0222u;

// The places a run of filing works in, each held open, and the filing notes
// the work directory held when the run began.
struct filing_places {
    std::string work, inbox;
    open_directory work_directory, inbox_directory;
    std::set<std::string, std::less<>> notes;
    // Notes whose downloads are gone: they name nothing any more, and go at
    // the end of the run. Freeing a file while many more are being made can
    // slow the making of each (ext4 without a journal steps over every inode
    // freed in the last minute), so the run frees none until it is done.
    std::vector<std::string> spent_notes;

    ~filing_places() {
        for (const std::string& note : spent_notes) work_directory.remove_file(note);
    }

    bool open(std::string_view work_path, std::string inbox_path) {
        work = work_path;
        inbox = std::move(inbox_path);
        if (auto names = read_directory_names(work)) {
            for (std::string& name : *names) {
                if (name.ends_with(filing_note_suffix)) notes.insert(std::move(name));
            }
        }
        return work_directory.open(work) && inbox_directory.open(inbox);
    }
};

// A failed step of filing, told with the file or directory it concerns and
// the system's reason: the download itself stays where it was.
void report_file_error(reporter& report, const std::string& path) {
    const int error = errno;
    report.show(message_kind::error, load_string(str::file_error) + "\n(" + path + ": " + std::strerror(error) + ")");
}

// The header lines of a stored part as a reader of the file gets them: up
// to its blank line, and the file ends at a Ctrl-Z.
std::vector<std::string> stored_header_lines(std::string_view stored) {
    stored = stored.substr(0, stored.find(ctrl_z));
    std::vector<std::string> header;
    line_splitter lines(stored);
    std::string_view line;
    while (lines.next(line) && !is_blank_line(line)) header.emplace_back(line);
    return header;
}

// Only a message that decoded into a single text/plain part has no
// attachment; `first_part` is the stored header of part 1.
bool has_attachment(int last_part, const std::vector<std::string>& first_part) {
    if (last_part != 1) return true;
    std::optional<std::string> type = part_header_value(first_part, "Content-Type", content_type_capacity, "text/plain");
    return !type || !equals_nocase(*type, "text/plain");
}

// Where a download is put together: a directory of the inbox whose name is
// no message number, so that the mail list and every folder operation pass
// it by until it is whole and takes its number.
std::string staging_name(std::string_view download_name) {
    if (download_name.ends_with(download_suffix)) download_name.remove_suffix(download_suffix.size());
    return std::string(staging_prefix) + std::string(download_name);
}

std::string note_name(std::string_view download_name) {
    std::string_view stem = download_name;
    if (stem.ends_with(download_suffix)) stem.remove_suffix(download_suffix.size());
    return std::string(stem) + std::string(filing_note_suffix);
}

// A download on its way into the inbox.
struct filing {
    std::string name, note, staging_name, staging;
    bool noted = false;  // its note is in the work directory
};

// The download as the message's "raw": the download file itself, given a
// second name, where both lie on one file system. Nothing ever writes to
// either, and removing the download afterwards then only takes a name away
// instead of freeing the file's blocks. Elsewhere a copy with the download's
// permissions and times.
bool keep_raw_copy(const filing_places& places, const filing& item, std::string_view download,
                   const struct stat& download_status) {
    const std::string raw = item.staging_name + "/" + std::string(raw_copy_name);
    if (places.inbox_directory.link_from(places.work_directory, item.name, raw)) return true;
    const struct timespec times[2] = {download_status.st_atim, download_status.st_mtim};
    return places.inbox_directory.write_new_file(raw, download, download_status.st_mode & 07777, times);
}

// The whole message in the staging directory: header, parts, status and the
// exact download as "raw", each file written once from memory. The download
// file itself is only read. Memory: the message once, and one part (with
// its file form) at a time. False, after the report, when a step failed.
bool stage_message(const filing_places& places, const filing& item, reporter& report) {
    std::string text;
    struct stat download_status;
    if (!places.work_directory.read_file(item.name, text, &download_status)) {
        report_file_error(report, places.work + item.name);
        return false;
    }
    const std::string prefix = item.staging_name + "/";
    std::string failed = prefix + std::string(raw_copy_name);  // the file a step failed on
    // "raw" before the bytes become the message text in their place.
    bool ok = keep_raw_copy(places, item, text, download_status);
    if (ok) {
        to_message_text(text);
        unfold_header_text(text);
        kill_point("unfolded");
    }
    std::vector<std::string> first_part;
    const int last_part = !ok ? -1 : split_message_files(text, [&](std::size_t n, std::string& file) {
        if (n == 1) first_part = stored_header_lines(file);
        failed = prefix + std::to_string(n);
        return places.inbox_directory.write_new_text_file(failed, file, n <= 1 ? read_only_file_mode : new_file_mode);
    });
    ok = last_part >= 0;
    if (ok) {
        failed = status_file_of(prefix);
        ok = places.inbox_directory.write_new_file(
            failed, text_mode_bytes(initial_status_text(type_new, has_attachment(last_part, first_part))),
            new_file_mode);
    }
    if (!ok) report_file_error(report, places.inbox + failed);
    return ok;
}

// A download that cannot be filed for what it is (more memory than the
// program may have) is moved out of the way, whole, into "unfiled/" of the
// data directory, so that the downloads after it, and every later round,
// go on; it is told by name. False when even that failed (it then waits).
bool set_aside(filing_places& places, const filing& item, reporter& report) {
    const std::string folder = context().program_directory + std::string(unfiled_folder_name);
    make_directory(folder);
    std::string target = folder + item.name;
    for (int n = 1; path_exists(target); ++n) target = folder + std::to_string(n) + "-" + item.name;
    if (!rename_path(places.work + item.name, target)) {
        report_file_error(report, places.work + item.name);
        return false;
    }
    report.show(message_kind::error, string_printf(load_string(str::receive_set_aside).c_str(), target.c_str()));
    return true;
}

// Whether an earlier filing of the download reached the inbox: its note
// names the staging directory that was whole, and only the rename to a
// message number takes that away.
bool filed_before(const filing_places& places, const filing& item) {
    std::string staging;
    return places.work_directory.read_file(item.note, staging) && !staging.empty() && !path_exists(staging);
}

// Written under a partial name and renamed, so that a note is whole or absent.
bool write_filing_note(const filing_places& places, const filing& item) {
    const std::string partial = item.note + std::string(partial_suffix);
    if (!places.work_directory.write_new_file(partial, item.staging, new_file_mode)) return false;
    if (places.work_directory.rename_new(partial, item.note)) return true;
    places.work_directory.remove_file(partial);
    return false;
}

// The download's work is done: it goes, then (at the end of the run) its
// note. While a download could not be removed its note stays, so that the
// next run removes it instead of filing the message a second time.
void forget_download(filing_places& places, const filing& item) {
    if (places.work_directory.remove_file(item.name) && item.noted) places.spent_notes.push_back(item.note);
}

// A staging directory left by a filing cut short is built afresh.
bool make_staging_directory(const filing_places& places, const filing& item) {
    if (places.inbox_directory.make_directory(item.staging_name)) return true;
    return errno == EEXIST && delete_tree(item.staging, false) &&
           places.inbox_directory.make_directory(item.staging_name);
}

// Puts the download together in its staging directory; false when it could
// not be, and then the download file is where it was, untouched. A download
// whose earlier filing reached the inbox is only removed (`done`).
bool stage_download(filing_places& places, const std::string& name, filing& item, bool& done, reporter& report) {
    item.name = name;
    item.note = note_name(name);
    item.staging_name = staging_name(name);
    item.staging = places.inbox + item.staging_name + "/";
    done = false;
    if (places.notes.contains(item.note)) {
        item.noted = true;
        if (filed_before(places, item)) {
            forget_download(places, item);
            done = true;
            return true;
        }
        places.work_directory.remove_file(item.note);
        item.noted = false;
    }
    if (!make_staging_directory(places, item)) {
        report_file_error(report, item.staging);
        return false;
    }
    try {
        if (stage_message(places, item, report)) return true;
    } catch (const std::bad_alloc&) {
        delete_tree(item.staging, false);
        done = set_aside(places, item, report);
        return false;
    }
    delete_tree(item.staging, false);
    return false;
}

// Gives the staged message its number, with the note that it has one;
// false (the staging directory removed) when that fails.
bool show_in_inbox(filing& item, filing_places& places, message_numbering& numbering, reporter& report) {
    item.noted = write_filing_note(places, item);
    kill_point("staged");
    if (item.noted && move_message_directory(item.staging, places.inbox, &numbering) >= 0) {
        kill_point("filed");
        return true;
    }
    const int error = errno;
    delete_tree(item.staging, false);
    if (item.noted) places.work_directory.remove_file(item.note);
    item.noted = false;
    errno = error;
    report_file_error(report, item.staging);
    return false;
}

// Files a batch of downloads: each is put together, then one flush puts them
// all on the disk before any shows, and one more puts their renames there
// before any download goes. False when one of them could not be filed; it
// stays in the work directory, untouched.
bool file_batch(filing_places& places, const std::vector<std::string>& names, message_numbering& numbering,
                reporter& report) {
    bool ok = true;
    std::vector<filing> staged;
    for (const std::string& name : names) {
        filing item;
        bool done = false;
        if (!stage_download(places, name, item, done, report)) ok = false;
        else if (!done) staged.push_back(std::move(item));
    }
    if (staged.empty()) return ok;
    if (!flush_file_system(places.inbox)) {
        const int error = errno;
        for (const filing& item : staged) delete_tree(item.staging, false);
        errno = error;
        report_file_error(report, places.inbox);
        return false;
    }
    std::vector<const filing*> shown;
    for (filing& item : staged) {
        if (show_in_inbox(item, places, numbering, report)) shown.push_back(&item);
        else ok = false;
    }
    // Until the renames are on the disk the downloads stay, with their notes.
    if (shown.empty()) return ok;
    if (!places.inbox_directory.flush()) {
        report_file_error(report, places.inbox);
        return false;
    }
    for (const filing* item : shown) forget_download(places, *item);
    return ok;
}

}  // namespace

int import_downloaded_messages(std::string_view work_directory, std::string_view account_root, reporter& report) {
    complete_noted_downloads(work_directory);
    // The list is taken once: a file that fails stays and is not tried again
    // in this run.
    std::vector<std::string> downloads = download_files(work_directory);
    if (downloads.empty()) return 0;
    filing_places places;
    if (!places.open(work_directory, special_folder_in(account_root, special_folder::inbox))) {
        report_file_error(report, places.work_directory.is_open() ? places.inbox : places.work);
        return -1;
    }
    bool failed = false;
    message_numbering numbering;
    for (std::size_t first = 0; first < downloads.size(); first += filing_batch_size) {
        std::size_t end = std::min(downloads.size(), first + filing_batch_size);
        std::vector<std::string> batch(downloads.begin() + static_cast<std::ptrdiff_t>(first),
                                       downloads.begin() + static_cast<std::ptrdiff_t>(end));
        if (!file_batch(places, batch, numbering, report)) failed = true;
    }
    return failed ? -1 : static_cast<int>(downloads.size());
}

filing_outcome file_downloads(std::string_view work_directory, std::string_view account_root, bool arrange,
                              reporter& report) {
    filing_outcome outcome;
    std::size_t waiting = download_files(work_directory).size();
    if (waiting == 0) return outcome;
    int result = import_downloaded_messages(work_directory, account_root, report);
    std::size_t left = download_files(work_directory).size();
    // Counted from what is left: a failure in one file does not hide the
    // messages that were filed.
    outcome.filed = static_cast<int>(waiting > left ? waiting - left : 0);
    outcome.problem = result < 0;
    if (outcome.filed > 0 && arrange) {
        arrange_run(special_folder_in(account_root, special_folder::inbox), account_root, report);
    }
    return outcome;
}

leftover_outcome file_leftover_downloads(std::string_view work_directory, std::string_view account_root,
                                         bool arrange, reporter& report) {
    leftover_outcome outcome;
    if (download_files(work_directory).empty()) return outcome;
    std::string owner = download_owner(work_directory);
    if (owner.empty() || !directory_exists(special_folder_in(owner, special_folder::inbox)))
        owner = std::string(account_root);
    filing_outcome filed = file_downloads(work_directory, owner, arrange, report);
    const bool here = owner == account_root;
    outcome.filed = filed.filed;
    if (here) outcome.filed_here = filed.filed;
    outcome.problem = filed.problem;
    // Mail of another account that still waits keeps its owner: new downloads
    // now would be noted for this account and filed into this inbox.
    outcome.blocked = filed.problem && !here;
    return outcome;
}

}  // namespace qm
