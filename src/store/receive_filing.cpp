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

// Files one download file; false when it could not be filed, and then the
// download file is where it was, untouched, and no message was added.
bool file_download(const std::string& work, const std::string& name, const std::string& inbox,
                   message_numbering& numbering, reporter& report) {
    const std::string download = work + name;
    const std::string note = filing_note_path(download);
    if (path_exists(note)) {
        if (filed_before(note)) {
            forget_download(download, note);
            return true;
        }
        delete_file(note);
    }
    // A staging directory left by a filing cut short is built afresh.
    const std::string staging = staging_directory(inbox, name);
    if ((path_exists(staging) && !delete_tree(staging, false)) || !make_directory(staging)) {
        report.error(str::file_error);
        return false;
    }
    if (!stage_message(download, staging, report)) {
        if (path_exists(staging)) delete_tree(staging, false);
        return false;
    }
    // The message is on the disk before it shows, and shows (with the note
    // that it does) before the download goes.
    if (!flush_file_system(staging) || !write_filing_note(note, staging)) {
        delete_tree(staging, false);
        report.error(str::file_error);
        return false;
    }
    kill_point("staged");
    if (move_message_directory(staging, inbox, &numbering) < 0) {
        delete_tree(staging, false);
        delete_file(note);
        report.error(str::file_error);
        return false;
    }
    kill_point("filed");
    // Until the rename is on the disk the download stays, with its note.
    if (!flush_directory(inbox)) report.error(str::file_error);
    else forget_download(download, note);
    return true;
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
    for (const std::string& name : downloads) {
        if (!file_download(work, name, inbox, numbering, report)) failed = true;
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
