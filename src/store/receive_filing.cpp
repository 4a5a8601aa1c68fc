#include "store/receive_filing.h"

#include <algorithm>
#include <cstddef>

#include "message/header_fields.h"
#include "message/mime_reader.h"
#include "platform/attributes.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/kill_point.h"
#include "platform/text_file.h"
#include "platform/tree_operations.h"
#include "platform/work_directory.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "base/find_nocase.h"

namespace qm {

namespace {

// Only a message that decoded into a single text/plain part has no
// attachment.
bool has_attachment(const std::string& message, int last_part) {
    if (last_part != 1) return true;
    std::string type;
    return !get_content_type(message, 1, type, content_type_capacity) || !equals_nocase(type, "text/plain");
}

void mark_read_only(const std::string& path, reporter& report) {
    if (!set_attributes(path, read_only_mark)) report.error(str::file_error);
}

// Where a download is put together: a directory of the inbox whose name is
// no message number, so that the mail list and every folder operation pass
// it by until it is whole and takes its number.
std::string staging_directory(const std::string& inbox, std::string_view download_name) {
    if (download_name.ends_with(download_suffix)) download_name.remove_suffix(download_suffix.size());
    return inbox + std::string(staging_prefix) + std::string(download_name) + "/";
}

// The whole message in the staging directory: header, parts, status and the
// exact download as "raw". The download file itself is only read: decoding
// works on a scratch copy, which unfolding rewrites and splitting deletes.
// False, after the report, when a step failed.
bool stage_message(const std::string& download, const std::string& staging, reporter& report) {
    const std::string scratch = staging + std::string(unfolding_scratch_name);
    if (!copy_file(download, scratch, false)) {
        report.error(str::file_error);
        return false;
    }
    // A failed pass leaves the copy as it was: its folded fields stay folded.
    unfold_header_file(scratch);
    kill_point("unfolded");
    int last_part = split_message(scratch, staging);
    if (last_part < 0) {
        report.error(str::file_error);
        return false;
    }
    bool attachment = has_attachment(staging, last_part);
    mark_read_only(part_file(staging, 0), report);
    std::string first_part = part_file(staging, 1);
    if (last_part >= 1 || path_exists(first_part)) mark_read_only(first_part, report);
    if (!write_initial_status(status_file_of(staging), type_new, attachment) ||
        !copy_file(download, staging + std::string(raw_copy_name), false)) {
        report.error(str::file_error);
        return false;
    }
    return true;
}

// Whether an earlier filing of the download reached the inbox: its note
// names the staging directory that was whole, and only the rename to a
// message number takes that away.
bool filed_before(const std::string& note) {
    std::string staging;
    return read_text_file(note, staging) && !staging.empty() && !path_exists(staging);
}

bool write_filing_note(const std::string& note, const std::string& staging) {
    whole_file_writer writer;
    return writer.open(note) && writer.write(staging) && writer.commit();
}

// The download's work is done: it goes, then its note.
void forget_download(const std::string& download, const std::string& note) {
    delete_file(download);
    if (path_exists(note)) delete_file(note);
}

// A download on its way into the inbox.
struct filing {
    std::string download, note, staging;
};

// Puts the download together in its staging directory; false when it could
// not be, and then the download file is where it was, untouched. A download
// whose earlier filing reached the inbox is only removed (`done`).
bool stage_download(const std::string& work, const std::string& name, const std::string& inbox, filing& item,
                    bool& done, reporter& report) {
    item.download = work + name;
    item.note = filing_note_path(item.download);
    item.staging = staging_directory(inbox, name);
    done = false;
    if (path_exists(item.note)) {
        if (filed_before(item.note)) {
            forget_download(item.download, item.note);
            done = true;
            return true;
        }
        delete_file(item.note);
    }
    // A staging directory left by a filing cut short is built afresh.
    if ((path_exists(item.staging) && !delete_tree(item.staging, false)) || !make_directory(item.staging)) {
        report.error(str::file_error);
        return false;
    }
    if (stage_message(item.download, item.staging, report)) return true;
    if (path_exists(item.staging)) delete_tree(item.staging, false);
    return false;
}

// Gives the staged message its number, with the note that it has one;
// false (the staging directory removed) when that fails.
bool show_in_inbox(const filing& item, const std::string& inbox, message_numbering& numbering, reporter& report) {
    bool noted = write_filing_note(item.note, item.staging);
    kill_point("staged");
    if (noted && move_message_directory(item.staging, inbox, &numbering) >= 0) {
        kill_point("filed");
        return true;
    }
    delete_tree(item.staging, false);
    if (path_exists(item.note)) delete_file(item.note);
    report.error(str::file_error);
    return false;
}

// Files a batch of downloads: each is put together, then one flush puts them
// all on the disk before any shows, and one more puts their renames there
// before any download goes. False when one of them could not be filed; it
// stays in the work directory, untouched.
bool file_batch(const std::string& work, const std::vector<std::string>& names, const std::string& inbox,
                message_numbering& numbering, reporter& report) {
    bool ok = true;
    std::vector<filing> staged;
    for (const std::string& name : names) {
        filing item;
        bool done = false;
        if (!stage_download(work, name, inbox, item, done, report)) ok = false;
        else if (!done) staged.push_back(std::move(item));
    }
    if (staged.empty()) return ok;
    if (!flush_file_system(inbox)) {
        for (const filing& item : staged) delete_tree(item.staging, false);
        report.error(str::file_error);
        return false;
    }
    std::vector<const filing*> shown;
    for (const filing& item : staged) {
        if (show_in_inbox(item, inbox, numbering, report)) shown.push_back(&item);
        else ok = false;
    }
    // Until the renames are on the disk the downloads stay, with their notes.
    if (shown.empty()) return ok;
    if (!flush_directory(inbox)) {
        report.error(str::file_error);
        return false;
    }
    for (const filing* item : shown) forget_download(item->download, item->note);
    return ok;
}

}  // namespace

int import_downloaded_messages(std::string_view work_directory, std::string_view account_root, reporter& report) {
    const std::string work(work_directory);
    const std::string inbox = special_folder_in(account_root, special_folder::inbox);
    complete_noted_downloads(work);
    // The list is taken once: a file that fails stays and is not tried again
    // in this run.
    std::vector<std::string> downloads = download_files(work);
    bool failed = false;
    message_numbering numbering;
    for (std::size_t first = 0; first < downloads.size(); first += filing_batch_size) {
        std::size_t end = std::min(downloads.size(), first + filing_batch_size);
        std::vector<std::string> batch(downloads.begin() + static_cast<std::ptrdiff_t>(first),
                                       downloads.begin() + static_cast<std::ptrdiff_t>(end));
        if (!file_batch(work, batch, inbox, numbering, report)) failed = true;
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
        arrange_run(special_folder_in(account_root, special_folder::inbox),
                    special_folder_in(account_root, special_folder::trash), report);
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
