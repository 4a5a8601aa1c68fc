#include "store/outbox.h"

#include <algorithm>
#include <set>

#include "message/mime_writer.h"
#include "platform/attributes.h"
#include "platform/companion_file.h"
#include "platform/directory_walker.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/tree_operations.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/numbered_names.h"
#include "text/halfwidth_kana.h"
#include "text/mail_date.h"

namespace qm {

namespace {

constexpr int header_part = 0;
constexpr int body_part = 1;
// The outbox always holds the drafts and sent folders.
constexpr int fixed_outbox_folders = 2;

bool is_message_dir_name(std::string_view name) { return name.size() > 1 && name[0] == '.' && is_decimal(name.substr(1)); }

bool is_prepared_name(std::string_view name) {
    return name.size() > prepared_suffix.size() && name.ends_with(prepared_suffix);
}

std::string prepared_list_path(std::string_view work_directory) {
    return std::string(work_directory) + std::string(prepared_list_name);
}

// Removes every prepared file and the list of the last preparation; the
// rest of the work directory (downloaded mail above all) stays.
void remove_prepared_files(std::string_view work_directory) {
    directory_walker walker(work_directory);
    dir_entry entry;
    while (walker.next(entry)) {
        if (!entry.directory && is_prepared_name(entry.name))
            delete_file(std::string(work_directory) + entry.name);
    }
    std::string list = prepared_list_path(work_directory);
    if (path_exists(list)) delete_file(list);
}

// Puts the blank line that separates the part header from the text in front
// of a body that does not begin with one.
bool ensure_leading_blank_line(const std::string& body) {
    text_reader reader(body);
    if (!reader.is_open()) return false;
    if (reader.get() == '\n') return true;
    reader.close();
    std::string bytes;
    if (!read_binary_file(body, bytes)) return false;
    std::string companion = companion_path(body);
    return write_binary_file(companion, "\r\n" + bytes) && replace_with_companion(body, companion);
}

// Brings one message into its final form and writes its prepared file.
bool prepare_message(const std::string& message, const std::string& prepared, std::string_view mailer) {
    const std::string header = part_file(message, header_part);
    const std::string body = part_file(message, body_part);
    return ensure_final_newline(header) && ensure_final_newline(body) && file_kana_to_fullwidth(header) &&
           file_kana_to_fullwidth(body) && set_date_header(header) && ensure_leading_blank_line(body) &&
           compose_message(message, prepared, mailer);
}

bool write_prepared_list(std::string_view work_directory, const std::vector<std::string>& names) {
    return rewrite_through_companion(prepared_list_path(work_directory), [&names](text_writer& out) {
        for (const std::string& name : names) {
            if (!out.write(name + "\n")) return false;
        }
        return true;
    });
}

std::set<std::string, std::less<>> read_prepared_list(std::string_view work_directory) {
    std::set<std::string, std::less<>> names;
    text_reader reader(prepared_list_path(work_directory));
    std::string line;
    while (reader.is_open() && reader.read_line(line)) {
        if (is_message_dir_name(line)) names.insert(line);
    }
    return names;
}

void mark_read_only(const std::string& path, reporter& report) {
    if (!set_attributes(path, read_only_mark)) report.error(str::file_error);
}

// Moves one sent message whole into the sent folder and marks it sent.
void file_one(const std::string& message, const std::string& sent, message_numbering& numbering, reporter& report) {
    int number = move_message_directory(message, sent, report, &numbering);
    if (number < 0) return;
    const std::string filed = message_directory(sent, number);
    if (!write_status_type(status_file_of(filed), type_sent)) report.error(str::file_error);
    mark_read_only(part_file(filed, header_part), report);
    mark_read_only(part_file(filed, body_part), report);
}

}  // namespace

std::string prepared_file_path(std::string_view work_directory, std::string_view message_dir_name) {
    if (message_dir_name.starts_with('.')) message_dir_name.remove_prefix(1);
    return std::string(work_directory) + std::string(message_dir_name) + std::string(prepared_suffix);
}

std::vector<std::string> outbox_messages(std::string_view outbox_folder) {
    std::vector<std::string> names;
    directory_walker walker(outbox_folder);
    dir_entry entry;
    while (walker.next(entry)) {
        if (entry.directory && !entry.symlink && is_message_dir_name(entry.name)) names.push_back(std::move(entry.name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return decimal_less(std::string_view(a).substr(1), std::string_view(b).substr(1));
    });
    return names;
}

bool outbox_holds_mail(std::string_view account_root) {
    return count_subdirectories(special_folder_in(account_root, special_folder::outbox)) > fixed_outbox_folders;
}

bool prepare_outbox(std::string_view account_root, std::string_view work_directory, reporter& report) {
    // Whatever an earlier job left is not sent again by this one.
    remove_prepared_files(work_directory);
    const std::string outbox = special_folder_in(account_root, special_folder::outbox);
    if (!directory_exists(outbox)) return true;
    const std::string mailer = load_string(str::mailer_name).substr(0, mailer_name_limit);

    std::vector<std::string> names = outbox_messages(outbox);
    for (const std::string& name : names) {
        const std::string message = outbox + name + "/";
        const std::string prepared = prepared_file_path(work_directory, name);
        if (!prepare_message(message, prepared, mailer)) {
            remove_prepared_files(work_directory);
            report.error(str::file_error);
            return false;
        }
        if (!copy_file(prepared, message + std::string(sent_wire_copy_name), false)) report.error(str::file_error);
    }
    if (!write_prepared_list(work_directory, names)) {
        remove_prepared_files(work_directory);
        report.error(str::file_error);
        return false;
    }
    return true;
}

void file_sent_mail(std::string_view account_root, std::string_view work_directory, reporter& report) {
    const std::string outbox = special_folder_in(account_root, special_folder::outbox);
    const std::string sent = special_folder_in(account_root, special_folder::sent);
    const auto prepared = read_prepared_list(work_directory);
    message_numbering numbering;
    bool sent_folder_ready = directory_exists(sent);
    for (const std::string& name : outbox_messages(outbox)) {
        // A prepared file that is still there was not accepted; a message
        // that this job did not prepare was not sent at all.
        if (path_exists(prepared_file_path(work_directory, name)) || !prepared.contains(name)) continue;
        if (!sent_folder_ready && !(sent_folder_ready = make_directory(sent))) {
            // Nothing can be filed; the messages stay queued.
            report.error(str::file_error);
            break;
        }
        file_one(outbox + name + "/", sent, numbering, report);
    }
    // The unsent messages stay queued; their prepared files go, and with the
    // list a second call finds nothing to file.
    remove_prepared_files(work_directory);
}

}  // namespace qm
