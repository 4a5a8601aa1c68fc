#include "store/receive_filing.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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
    // The work directory lies on the inbox's file system (one flush for both).
    bool one_file_system = true;

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
        if (!work_directory.open(work) || !inbox_directory.open(inbox)) return false;
        one_file_system = inbox_directory.on_same_file_system(work_directory);
        return true;
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

// Batches of fewer downloads than this are put together on one thread: a
// second costs more than it saves.
constexpr std::size_t parallel_batch_minimum = 8;
// While two downloads are put together at once, each is held in memory:
// larger ones wait and are put together alone, after the others of the batch.
constexpr std::int64_t parallel_size_limit = std::int64_t{4} << 20;

enum class staging_result {
    staged,         // whole in its staging directory
    failed,         // a step failed: nothing is left of it but the download
    out_of_memory,  // more memory than the program could have
    try_alone,      // too large to be put together beside another, or it failed beside another
};

// A download on its way into the inbox.
struct filing {
    std::string name, note, staging_name, staging;
    bool noted = false;  // its note is in the work directory
    staging_result result = staging_result::failed;
    // Where a step failed, and why (errno), told once the batch is through.
    std::string failed_path;
    int error = 0;

    bool fail(std::string path) {
        error = errno;
        failed_path = std::move(path);
        return false;
    }
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

// A staging directory left by a filing cut short is built afresh.
bool make_staging_directory(const filing_places& places, const filing& item) {
    if (places.inbox_directory.make_directory(item.staging_name)) return true;
    return errno == EEXIST && delete_tree(item.staging, false) &&
           places.inbox_directory.make_directory(item.staging_name);
}

// The whole message in its staging directory: header, parts, status and the
// exact download as "raw", each file written once from memory. The download
// file itself is only read, before anything is made. Memory: the message
// once, and one part (with its file form) at a time. False, with the step
// that failed noted in `item`.
bool stage_message(const filing_places& places, filing& item, std::int64_t size_limit) {
    std::string text;
    struct stat download_status;
    if (!places.work_directory.read_file(item.name, text, &download_status, size_limit))
        return item.fail(places.work + item.name);
    if (!make_staging_directory(places, item)) return item.fail(item.staging);
    const std::string prefix = item.staging_name + "/";
    // "raw" before the bytes become the message text in their place.
    if (!keep_raw_copy(places, item, text, download_status))
        return item.fail(places.inbox + prefix + std::string(raw_copy_name));
    to_message_text(text);
    unfold_header_text(text);
    kill_point("unfolded");
    std::vector<std::string> first_part;
    std::string failed;
    const int last_part = split_message_files(text, [&](std::size_t n, std::string& file) {
        if (n == 1) first_part = stored_header_lines(file);
        failed = prefix + std::to_string(n);
        return places.inbox_directory.write_new_text_file(failed, file, n <= 1 ? read_only_file_mode : new_file_mode);
    });
    if (last_part < 0) return item.fail(places.inbox + failed);
    failed = status_file_of(prefix);
    if (!places.inbox_directory.write_new_file(
            failed, text_mode_bytes(initial_status_text(type_new, has_attachment(last_part, first_part))),
            new_file_mode))
        return item.fail(places.inbox + failed);
    return true;
}

// Puts the download together in its staging directory, touching nothing but
// `item` and its own files, so that two can be put together at once (each
// then no larger than `size_limit`). When it cannot be, its staging
// directory is removed again and the download file is where it was,
// untouched.
void stage_download(const filing_places& places, filing& item, std::int64_t size_limit) {
    const bool beside_another = size_limit > 0;
    try {
        if (stage_message(places, item, size_limit)) {
            item.result = staging_result::staged;
            return;
        }
        item.result = beside_another && item.error == EFBIG ? staging_result::try_alone : staging_result::failed;
    } catch (const std::bad_alloc&) {
        item.result = beside_another ? staging_result::try_alone : staging_result::out_of_memory;
    } catch (const std::exception&) {
        // Met again alone, where it takes its usual way.
        if (!beside_another) throw;
        item.result = staging_result::try_alone;
    }
    const int error = errno;
    delete_tree(item.staging, false);
    errno = error;
}

// Puts the downloads together, on two threads for a batch large enough.
void stage_downloads(const filing_places& places, std::vector<filing>& items) {
    if (items.size() < parallel_batch_minimum) {
        for (filing& item : items) stage_download(places, item, 0);
        return;
    }
    std::atomic<std::size_t> next{0};
    auto stage_next = [&] {
        for (std::size_t i; (i = next++) < items.size();) stage_download(places, items[i], parallel_size_limit);
    };
    std::thread helper;
    try {
        helper = std::thread(stage_next);
    } catch (const std::system_error&) {
        // No second thread: this one does them all.
    }
    stage_next();
    if (helper.joinable()) helper.join();
    // What could not be put together beside another is put together alone.
    for (filing& item : items) {
        if (item.result == staging_result::try_alone) stage_download(places, item, 0);
    }
}

// A download that cannot be filed for what it is (more memory than the
// program may have) is moved out of the way, whole, into "unfiled/" of the
// data directory, so that the downloads after it, and every later round,
// go on; it is told by name. False when even that failed (it then waits).
bool set_aside(const filing_places& places, const filing& item, reporter& report) {
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

// The line of a note that names the download's staging directory. A note
// names the staging directories of a whole batch, one a line (every
// download of the batch has it under its own name), or, written by an
// older run, that of its download alone.
std::string_view noted_staging_path(std::string_view note, std::string_view staging_name) {
    const std::string ending = "/" + std::string(staging_name) + "/";
    while (!note.empty()) {
        std::size_t end = note.find('\n');
        std::string_view line = note.substr(0, end);
        if (line.ends_with(ending)) return line;
        if (end == std::string_view::npos) break;
        note.remove_prefix(end + 1);
    }
    return {};
}

// Whether an earlier filing of the download reached the inbox: its note
// names the staging directory that was whole, and only the rename to a
// message number takes that away.
bool filed_before(const filing_places& places, const filing& item) {
    std::string note;
    if (!places.work_directory.read_file(item.note, note)) return false;
    std::string_view staging = noted_staging_path(note, item.staging_name);
    return !staging.empty() && !path_exists(staging);
}

// The download's work is done: it goes, then (at the end of the run) its
// note. While a download could not be removed its note stays, so that the
// next run removes it instead of filing the message a second time.
bool forget_download(filing_places& places, const filing& item) {
    if (!places.work_directory.remove_file(item.name)) return false;
    if (item.noted) places.spent_notes.push_back(item.note);
    return true;
}

// A staged message that will not be shown: first its note goes, so that
// no note ever names a staging directory that is gone but was never shown.
void drop_staged(filing_places& places, filing& item) {
    if (item.noted) places.work_directory.remove_file(item.note);
    item.noted = false;
    delete_tree(item.staging, false);
}

// Notes that the staged messages are whole, before they are flushed with
// them: one note file names every staging directory of the batch, and each
// download has it under its own note name, a second name of one file (a
// note costs no file of its own to make, nor to free). A message whose
// note cannot be written waits, as its download.
void note_staged(filing_places& places, std::vector<filing>& staged, reporter& report) {
    std::string content;
    for (const filing& item : staged) content += (content.empty() ? "" : "\n") + item.staging;
    std::string shared;  // the note the others are second names of
    std::vector<filing> noted;
    for (filing& item : staged) {
        item.noted = (!shared.empty() && places.work_directory.link_from(places.work_directory, shared, item.note)) ||
                     places.work_directory.write_new_file(item.note, content, new_file_mode);
        if (!item.noted) {
            const int error = errno;
            delete_tree(item.staging, false);
            errno = error;
            report_file_error(report, places.work + item.note);
            continue;
        }
        if (shared.empty()) shared = item.note;
        noted.push_back(std::move(item));
    }
    staged = std::move(noted);
}

// Takes a batch of downloads as far as its flush: each is put together in its
// staging directory and noted; the ones that could not be are told, in
// download order, and stay in the work directory, untouched. A download
// whose earlier filing reached the inbox is only removed (and counted in
// `filed`). The messages staged, in download order; `ok` false when any
// download failed.
std::vector<filing> stage_batch(filing_places& places, const std::vector<std::string>& names, int& filed,
                                bool& ok, reporter& report) {
    std::vector<filing> items;
    items.reserve(names.size());
    for (const std::string& name : names) {
        filing item;
        item.name = name;
        item.note = note_name(name);
        item.staging_name = staging_name(name);
        item.staging = places.inbox + item.staging_name + "/";
        if (places.notes.contains(item.note)) {
            item.noted = true;
            if (filed_before(places, item)) {
                if (forget_download(places, item)) ++filed;
                continue;
            }
            places.work_directory.remove_file(item.note);
            item.noted = false;
        }
        items.push_back(std::move(item));
    }
    stage_downloads(places, items);
    std::vector<filing> staged;
    for (filing& item : items) {
        if (item.result == staging_result::staged) {
            staged.push_back(std::move(item));
            continue;
        }
        ok = false;
        if (item.result == staging_result::out_of_memory) {
            set_aside(places, item, report);
        } else {
            errno = item.error;
            report_file_error(report, item.failed_path);
        }
    }
    if (!staged.empty()) note_staged(places, staged, report);
    if (staged.size() < items.size()) ok = false;
    return staged;
}

// Gives the staged message the lowest free number from where the run
// stands, in one rename within the inbox. -1 when it cannot have one.
int take_message_number(const filing_places& places, const filing& item, message_numbering& numbering) {
    for (int number = numbering.first_candidate(places.inbox);; ++number) {
        if (places.inbox_directory.rename_new(item.staging_name, message_dir_name(number))) {
            numbering.taken(places.inbox, number);
            return number;
        }
        if (errno != EEXIST && errno != ENOTEMPTY) break;
    }
    // A directory that may not be renamed: the long way.
    return move_message_directory(item.staging, places.inbox, &numbering);
}

// Shows a staged batch: one flush puts all of it on the disk (with its notes)
// before any message shows, then each takes its number, and one more flush
// puts the renames on the disk before any download goes. The number of
// messages filed (their downloads gone); `ok` false when one of them could
// not be filed (it stays in the work directory, untouched).
int show_batch(filing_places& places, std::vector<filing>& staged, message_numbering& numbering, bool& ok,
               reporter& report) {
    // The notes too, where the work directory lies on another file system.
    if (!places.inbox_directory.flush_file_system() ||
        !(places.one_file_system || places.work_directory.flush_file_system())) {
        const int error = errno;
        for (filing& item : staged) drop_staged(places, item);
        errno = error;
        report_file_error(report, places.inbox);
        ok = false;
        return 0;
    }
    std::vector<const filing*> shown;
    for (filing& item : staged) {
        kill_point("staged");
        if (take_message_number(places, item, numbering) >= 0) {
            kill_point("filed");
            shown.push_back(&item);
            continue;
        }
        const int error = errno;
        drop_staged(places, item);
        errno = error;
        report_file_error(report, item.staging);
        ok = false;
    }
    // Until the renames are on the disk the downloads stay, with their notes.
    if (shown.empty()) return 0;
    if (!places.inbox_directory.flush()) {
        report_file_error(report, places.inbox);
        ok = false;
        return 0;
    }
    int filed = 0;
    for (const filing* item : shown) filed += forget_download(places, *item) ? 1 : 0;
    return filed;
}

struct filing_run {
    int handled = 0;      // download files there were
    int filed = 0;        // of them, filed, their download files gone
    bool failed = false;  // one of them could not be filed
};

// Files the download files the work directory holds now into the inbox of
// the account, in batches.
filing_run file_waiting_downloads(std::string_view work_directory, std::string_view account_root, reporter& report) {
    filing_run run;
    complete_noted_downloads(work_directory);
    // The list is taken once: a file that fails stays and is not tried again
    // in this run, and downloads that arrive meanwhile wait for the next.
    std::vector<std::string> downloads = download_files(work_directory);
    if (downloads.empty()) return run;
    run.handled = static_cast<int>(downloads.size());
    filing_places places;
    if (!places.open(work_directory, special_folder_in(account_root, special_folder::inbox))) {
        report_file_error(report, places.work_directory.is_open() ? places.inbox : places.work);
        run.failed = true;
        return run;
    }
    bool ok = true;
    message_numbering numbering;
    for (std::size_t first = 0; first < downloads.size(); first += filing_batch_size) {
        std::size_t end = std::min(downloads.size(), first + filing_batch_size);
        std::vector<std::string> batch(downloads.begin() + static_cast<std::ptrdiff_t>(first),
                                       downloads.begin() + static_cast<std::ptrdiff_t>(end));
        std::vector<filing> staged = stage_batch(places, batch, run.filed, ok, report);
        if (!staged.empty()) run.filed += show_batch(places, staged, numbering, ok, report);
    }
    run.failed = !ok;
    return run;
}

}  // namespace

int import_downloaded_messages(std::string_view work_directory, std::string_view account_root, reporter& report) {
    filing_run run = file_waiting_downloads(work_directory, account_root, report);
    return run.failed ? -1 : run.handled;
}

filing_outcome file_downloads(std::string_view work_directory, std::string_view account_root, bool arrange,
                              reporter& report) {
    filing_run run = file_waiting_downloads(work_directory, account_root, report);
    filing_outcome outcome;
    // Counted as they go: a failure in one file does not hide the messages
    // that were filed, nor do downloads that arrive meanwhile count.
    outcome.filed = run.filed;
    outcome.problem = run.failed;
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
