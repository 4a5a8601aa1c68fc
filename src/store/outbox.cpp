#include "store/outbox.h"

#include <algorithm>
#include <optional>
#include <set>

#include "base/find_nocase.h"
#include "base/numbered_names.h"
#include "message/draft_header.h"
#include "message/header_fields.h"
#include "message/header_reader.h"
#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "message/mime_writer.h"
#include "net/smtp_client.h"
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
#include "text/mail_date.h"
#include "text/message_id.h"

namespace qm {

namespace {

constexpr int header_part = 0;
constexpr int body_part = 1;
constexpr std::string_view message_id_field = "Message-ID";
// The outbox always holds the drafts and sent folders.
constexpr int fixed_outbox_folders = 2;
// A message is named by its subject, cut to this many bytes.
constexpr std::size_t named_subject_limit = 80;

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

// Why a message could not be prepared: a string-table text and what it
// names, if anything.
struct preparation_fault {
    int text = 0;
    std::string detail;
};

preparation_fault envelope_fault_of(envelope_reading& reading) {
    switch (reading.fault) {
    case envelope_fault::no_sender:
        return {str::outbox_no_sender, {}};
    case envelope_fault::unusable_address:
        return {str::outbox_unusable_address, "\n    " + std::move(reading.unusable)};
    case envelope_fault::no_recipient:
        return {str::outbox_no_recipient, {}};
    default:
        return {};
    }
}

std::string envelope_text(const draft_envelope& envelope) {
    std::string text = envelope.sender + "\n";
    for (const std::string& recipient : envelope.recipients) text += recipient + "\n";
    return text;
}

bool has_bcc_field(const std::vector<header_field>& fields) {
    // remove_bcc takes every line that begins so.
    return std::any_of(fields.begin(), fields.end(),
                       [](const header_field& field) { return is_field_line(field.name, "Bcc"); });
}

// The subject a message is named by in the messages about it.
std::string subject_of(const std::vector<header_field>& fields) {
    const header_field* subject = find_field(fields, "Subject");
    std::string_view value = subject ? std::string_view(subject->value) : std::string_view();
    value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
    if (value.empty()) return load_string(str::outbox_no_subject);
    std::string named = cut_to_capacity(value, named_subject_limit + 1);
    return named.size() < value.size() ? named + "..." : named;
}

std::optional<std::vector<header_field>> header_fields_of(const std::string& message) {
    header_reader header;
    if (!header.read(part_file(message, header_part))) return std::nullopt;
    return header.fields();
}

// Brings the message into its final form; its header fields as they then are.
std::optional<std::vector<header_field>> final_header(const std::string& message) {
    const std::string header = part_file(message, header_part);
    const std::string body = part_file(message, body_part);
    if (!ensure_final_newline(header) || !ensure_final_newline(body) || !file_kana_to_fullwidth(header) ||
        !file_kana_to_fullwidth(body) || !set_date_header(header) || !ensure_leading_blank_line(body))
        return std::nullopt;
    return header_fields_of(message);
}

// Writes the envelope beside the prepared file, then takes the Bcc lines
// out of the wire form: the send job sends the file as it is.
bool write_envelope(const std::string& prepared, const draft_envelope& envelope, bool bcc) {
    return write_text_file(envelope_path(prepared), envelope_text(envelope)) && (!bcc || remove_bcc(prepared));
}

// Prepares one message: its final form, its envelope from its header read
// whole, its prepared file with the envelope beside it, and the copy the
// sent message keeps. A fault leaves no prepared file and no envelope.
preparation_fault prepare_message(const std::string& message, const std::string& prepared, std::string_view mailer,
                                  std::string& subject, reporter& report) {
    if (std::optional<std::vector<header_field>> fields = header_fields_of(message)) subject = subject_of(*fields);
    std::optional<std::vector<header_field>> fields = final_header(message);
    if (!fields) return {str::file_error, {}};
    envelope_reading reading = read_draft_envelope(*fields, smtp_address_limit);
    if (reading.fault != envelope_fault::none) return envelope_fault_of(reading);
    // Every mail leaves with an id of its own, which its sent copy keeps and
    // replies to it refer to; a draft that has one keeps it.
    if (!find_field(*fields, message_id_field) &&
        !append_text(part_file(message, header_part),
                     std::string(message_id_field) + ": " + make_message_id(reading.envelope.sender) + "\n"))
        return {str::file_error, {}};
    if (!compose_message(message, prepared, mailer)) return {str::outbox_not_composed, {}};
    // The sent copy keeps the wire form as written, Bcc and all.
    if (!copy_file(prepared, message + std::string(sent_wire_copy_name), false)) report.error(str::file_error);
    if (!write_envelope(prepared, reading.envelope, has_bcc_field(*fields))) {
        delete_file(prepared);
        delete_file(envelope_path(prepared));
        return {str::file_error, {}};
    }
    return {};
}

// Tells the user which message stays queued, and why.
void report_kept(reporter& report, const std::string& subject, const preparation_fault& fault) {
    report.show(message_kind::error, load_string(str::outbox_message_kept) + "\n" +
                                         load_string(str::outbox_message_subject) + " " + subject + "\n" +
                                         load_string(fault.text) + fault.detail);
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

std::optional<draft_to_send> find_draft_to_send(std::string_view mailbox, std::string_view message_dir) {
    if (!message_dir.starts_with(mailbox) || !message_dir.ends_with('/')) return std::nullopt;
    std::string_view inside = message_dir.substr(mailbox.size());
    const std::size_t slash = inside.find('/');
    if (slash == std::string_view::npos || slash == 0) return std::nullopt;
    draft_to_send draft;
    draft.account_title = std::string(inside.substr(0, slash));
    draft.account_root = std::string(mailbox) + draft.account_title + "/";
    std::string_view rest = message_dir.substr(0, message_dir.size() - 1);
    const std::size_t last = rest.rfind('/');
    const std::optional<int> number = message_number_of(rest.substr(last + 1));
    const std::string folder(rest.substr(0, last + 1));
    const std::optional<special_folder> kind = which_special_folder(draft.account_root, folder);
    if (!number || (kind != special_folder::drafts && kind != special_folder::outbox)) return std::nullopt;
    if (read_attribute_text(part_file(message_dir, header_part)).c_str()[0] != type_draft) return std::nullopt;
    draft.number = *number;
    draft.queued = kind == special_folder::outbox;
    return draft;
}

std::string_view mailer_name() { return "Quillmere " QUILLMERE_VERSION " (Linux)"; }

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

outbox_preparation prepare_outbox(std::string_view account_root, std::string_view work_directory, reporter& report) {
    // Whatever an earlier job left is not sent again by this one.
    remove_outgoing_files(work_directory);
    outbox_preparation result;
    const std::string outbox = special_folder_in(account_root, special_folder::outbox);
    if (!directory_exists(outbox)) return result;
    const std::string mailer(mailer_name());

    std::vector<std::string> prepared;
    for (const std::string& name : outbox_messages(outbox)) {
        std::string subject = subject_of({});
        preparation_fault fault =
            prepare_message(outbox + name + "/", outgoing_path(work_directory, name), mailer, subject, report);
        if (fault.text == 0) {
            prepared.push_back(name);
        } else {
            // Only this one stays; the others go.
            ++result.kept;
            report_kept(report, subject, fault);
        }
    }
    if (!write_prepared_list(work_directory, prepared)) {
        remove_outgoing_files(work_directory);
        report.error(str::file_error);
        result.kept += prepared.size();
        return result;
    }
    result.prepared = prepared.size();
    return result;
}

std::size_t file_sent_mail(std::string_view account_root, std::string_view work_directory, reporter& report) {
    const std::string outbox = special_folder_in(account_root, special_folder::outbox);
    const std::string sent = special_folder_in(account_root, special_folder::sent);
    const auto prepared = read_prepared_list(work_directory);
    message_numbering numbering;
    std::size_t filed = 0;
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
        ++filed;
    }
    // The unsent messages stay queued; their prepared files go, and with the
    // list a second call finds nothing to file.
    remove_outgoing_files(work_directory);
    return filed;
}

}  // namespace qm
