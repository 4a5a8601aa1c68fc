#include "store/outbox.h"

#include <algorithm>
#include <set>

#include "base/find_nocase.h"
#include "base/numbered_names.h"
#include "message/header_fields.h"
#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "message/mime_writer.h"
#include "platform/attributes.h"
#include "platform/companion_file.h"
#include "platform/directory_walker.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/tree_operations.h"
#include "platform/work_directory.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "text/halfwidth_kana.h"
#include "text/mail_address.h"
#include "text/mail_date.h"

namespace qm {

namespace {

constexpr int header_part = 0;
constexpr int body_part = 1;
// The outbox always holds the drafts and sent folders.
constexpr int fixed_outbox_folders = 2;
// Envelope addresses are read whole: one too long for a command line is
// refused by the send job, never cut into someone else's.
constexpr std::size_t address_capacity = message_line_capacity;

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

// The envelope sender: the first address of "From", read from a copy of the
// wire header whose folded lines were joined. Empty when there is none (the
// send job then refuses the message rather than sending a bounce).
bool envelope_sender(const std::string& outgoing, const std::string& header, std::string& sender) {
    const std::string scratch = reference_path(outgoing);
    std::string name;
    bool ok = write_text_file(scratch, header) && unfold_header_file(scratch);
    if (ok && !get_header_address(scratch, "From", 0, sender, address_capacity, name, address_capacity))
        sender.clear();
    delete_file(scratch);
    return ok;
}

// Every address of To, Cc and Bcc, in that order; an item without an
// address names nobody and is left out.
std::vector<std::string> envelope_recipients(const std::string& header) {
    std::vector<std::string> recipients;
    std::string address, name;
    for (std::string_view field : {"To", "Cc", "Bcc"}) {
        for (int index = 0;
             get_header_text_address(header, field, index, address, address_capacity, name, address_capacity);
             ++index) {
            if (!address.empty()) recipients.push_back(address);
        }
    }
    return recipients;
}

bool has_bcc_field(std::string_view header) {
    line_splitter lines(header);
    std::string_view line;
    while (lines.next(line)) {
        if (starts_with_nocase(line, "Bcc")) return true;
    }
    return false;
}

// Writes the envelope beside the outgoing file, then takes the Bcc lines out
// of the wire form: the send job sends the file as it is.
bool prepare_envelope(const std::string& outgoing) {
    std::string header, sender;
    if (!read_header_text(outgoing, header) || !envelope_sender(outgoing, header, sender)) return false;
    std::string envelope = sender + "\n";
    for (const std::string& recipient : envelope_recipients(header)) envelope += recipient + "\n";
    return write_text_file(envelope_path(outgoing), envelope) && (!has_bcc_field(header) || remove_bcc(outgoing));
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
        if (message_number_of(line)) names.insert(line);
    }
    return names;
}

void mark_read_only(const std::string& path, reporter& report) {
    if (!set_attributes(path, read_only_mark)) report.error(str::file_error);
}

// Moves one sent message whole into the sent folder and marks it sent.
void file_one(const std::string& message, const std::string& sent, message_numbering& numbering, reporter& report) {
    int number = move_message_directory(message, sent, &numbering);
    if (number < 0) {
        report.error(str::file_error);
        return;
    }
    const std::string filed = message_directory(sent, number);
    if (!write_status_type(status_file_of(filed), type_sent)) report.error(str::file_error);
    mark_read_only(part_file(filed, header_part), report);
    mark_read_only(part_file(filed, body_part), report);
}

}  // namespace

std::vector<std::string> outbox_messages(std::string_view outbox_folder) {
    std::vector<std::string> names;
    directory_walker walker(outbox_folder);
    dir_entry entry;
    while (walker.next(entry)) {
        if (entry.directory && !entry.symlink && message_number_of(entry.name)) names.push_back(std::move(entry.name));
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
    remove_outgoing_files(work_directory);
    const std::string outbox = special_folder_in(account_root, special_folder::outbox);
    if (!directory_exists(outbox)) return true;
    const std::string mailer = load_string(str::mailer_name).substr(0, mailer_name_limit);

    std::vector<std::string> names = outbox_messages(outbox);
    for (const std::string& name : names) {
        const std::string message = outbox + name + "/";
        const std::string prepared = outgoing_path(work_directory, name);
        if (!prepare_message(message, prepared, mailer)) {
            remove_outgoing_files(work_directory);
            report.error(str::file_error);
            return false;
        }
        // The sent copy keeps the wire form as written, Bcc and all.
        if (!copy_file(prepared, message + std::string(sent_wire_copy_name), false)) report.error(str::file_error);
        if (!prepare_envelope(prepared)) {
            remove_outgoing_files(work_directory);
            report.error(str::file_error);
            return false;
        }
    }
    if (!write_prepared_list(work_directory, names)) {
        remove_outgoing_files(work_directory);
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
        if (path_exists(outgoing_path(work_directory, name)) || !prepared.contains(name)) continue;
        if (!sent_folder_ready && !(sent_folder_ready = make_directory(sent))) {
            // Nothing can be filed; the messages stay queued.
            report.error(str::file_error);
            break;
        }
        file_one(outbox + name + "/", sent, numbering, report);
    }
    // The unsent messages stay queued; their prepared files go, and with the
    // list a second call finds nothing to file.
    remove_outgoing_files(work_directory);
}

}  // namespace qm
