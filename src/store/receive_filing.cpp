#include "store/receive_filing.h"

#include <algorithm>
#include <cstddef>

#include "message/header_fields.h"
#include "message/mime_reader.h"
#include "platform/attributes.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
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

// A download file that could not be filed gets back the exact bytes of its
// copy (the address pass rewrote it), so that a later filing keeps them.
void restore_download(const std::string& raw, const std::string& download) {
    if (!move_file(raw, download, false)) delete_file(raw);
}

// Files one download file; false when it could not be filed, and then the
// download file is where it was and no message was added.
bool file_download(const std::string& download, const std::string& raw, const std::string& inbox,
                   message_numbering& numbering, reporter& report) {
    // The exact message goes into the store beside its decoded form; without
    // that copy the message is not filed, as decoding deletes the download.
    if (!copy_file(download, raw, false)) {
        report.error(str::file_error);
        return false;
    }
    // A failed pass leaves the file as it was: its folded fields stay folded.
    unfold_header_file(download);

    int number = new_message_directory(inbox, std::nullopt, &numbering);
    if (number < 0) {
        restore_download(raw, download);
        report.error(str::file_error);
        return false;
    }
    std::string message = message_directory(inbox, number);
    int last_part = split_message(download, message);
    if (last_part < 0) {
        if (path_exists(message)) delete_tree(message, false);
        numbering.released(inbox, number);
        restore_download(raw, download);
        report.error(str::file_error);
        return false;
    }

    bool attachment = has_attachment(message, last_part);
    mark_read_only(part_file(message, 0), report);
    std::string first_part = part_file(message, 1);
    if (last_part >= 1 || path_exists(first_part)) mark_read_only(first_part, report);
    if (!write_initial_status(status_file_of(message), type_new, attachment)) report.error(str::file_error);
    if (!move_file(raw, message + std::string(raw_copy_name), false)) report.error(str::file_error);
    return true;
}

}  // namespace

int import_downloaded_messages(std::string_view work_directory, std::string_view account_root, reporter& report) {
    const std::string work(work_directory);
    const std::string raw = work + std::string(raw_scratch_name);
    const std::string inbox = special_folder_in(account_root, special_folder::inbox);
    // The list is taken once: a file that fails stays and is not tried again
    // in this run.
    std::vector<std::string> downloads = download_files(work);
    bool failed = false;
    message_numbering numbering;
    for (const std::string& name : downloads) {
        if (!file_download(work + name, raw, inbox, numbering, report)) failed = true;
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
