#include "store/receive_filing.h"

#include <algorithm>
#include <cstddef>

#include "message/header_fields.h"
#include "message/mime_reader.h"
#include "platform/attributes.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/tree_operations.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/numbered_names.h"
#include "text/find_nocase.h"

namespace qm {

namespace {

std::string_view download_number(std::string_view name) {
    return name.substr(0, name.size() - download_suffix.size());
}

bool is_download_name(std::string_view name) {
    return name.size() > download_suffix.size() && name.ends_with(download_suffix) &&
           is_decimal(download_number(name));
}

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

    int number = new_message_directory(inbox, std::nullopt, report, &numbering);
    if (number < 0) {
        restore_download(raw, download);
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

std::vector<std::string> download_files(std::string_view work_directory) {
    std::vector<std::string> names;
    directory_walker walker(work_directory);
    dir_entry entry;
    while (walker.next(entry)) {
        if (!entry.directory && !entry.symlink && is_download_name(entry.name)) names.push_back(std::move(entry.name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return decimal_less(download_number(a), download_number(b));
    });
    return names;
}

int import_downloaded_messages(std::string_view work_directory, std::string_view account_root, reporter& report) {
    const std::string work(work_directory);
    const std::string raw = work + std::string(raw_copy_name);
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

}  // namespace qm
