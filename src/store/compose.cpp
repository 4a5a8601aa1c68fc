#include "store/compose.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/address_book.h"
#include "config/signatures.h"
#include "message/header_fields.h"
#include "message/header_reader.h"
#include "message/mime_writer.h"
#include "message/message_lines.h"
#include "platform/attributes.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/work_directory.h"
#include "platform/tree_operations.h"
#include "store/attachments.h"
#include "store/mail_reading.h"
#include "store/mailbox_layout.h"
#include "store/message_opening.h"
#include "store/message_status.h"
#include "base/find_nocase.h"
#include "text/mail_address.h"
#include "text/display_text.h"
#include "text/encoded_words.h"
#include "text/mail_date.h"
#include "text/unicode_forms.h"
#include "text/utf8_text.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr std::string_view reply_marker = "Re:";
constexpr std::string_view reply_lead = "Re: ";
constexpr std::string_view forward_lead = "Fwd: ";
// The header fields a forward shows of the source message.
constexpr std::string_view forwarded_fields[] = {"Date", "From", "Sender", "Reply-To", "Resent-", "X-Mailer"};
// Addresses and names read from a header: 127 bytes, as the account keeps them.
constexpr std::size_t address_capacity = account_value_capacity;
// No line the program writes into a message file is longer than this.
constexpr std::size_t message_line_limit = message_line_capacity - 1;

// The files of the draft being put together.
struct draft_files {
    std::string directory, header, body, status;
};

draft_files draft_files_in(std::string_view work_directory) {
    draft_files files;
    files.directory = draft_assembly_path(work_directory);
    files.header = part_file(files.directory, 0);
    files.body = part_file(files.directory, 1);
    files.status = status_file_of(files.directory);
    return files;
}

// An empty draft directory, made when missing.
bool empty_draft_directory(std::string_view work_directory, const draft_files& files) {
    if (!make_work_directory(work_directory)) return false;
    if (!directory_exists(files.directory)) return make_directory(files.directory);
    return empty_tree(files.directory);
}

// The common start of a new message, a reply and a forward: the emptied
// draft directory with the status of a draft and empty files "0" and "1"
// (a forward writes them itself).
bool start_draft(const compose_context& ctx, const draft_files& files, bool make_files) {
    if (!empty_draft_directory(ctx.work_directory, files)) return false;
    if (!write_initial_status(files.status, type_draft, false)) return false;
    return !make_files || (write_text_file(files.header, "") && write_text_file(files.body, ""));
}

// The members of a group, each looked up in the address book; empty items
// are skipped.
std::vector<std::string> group_addresses(std::string_view group) {
    std::vector<std::string> addresses;
    const std::string members = read_group_members(group);
    std::size_t start = 0;
    while (start <= members.size()) {
        std::size_t comma = members.find(',', start);
        if (comma == std::string::npos) comma = members.size();
        std::string_view member = std::string_view(members).substr(start, comma - start);
        if (!member.empty()) {
            std::string address = lookup_address(member);
            if (!address.empty()) addresses.push_back(std::move(address));
        }
        start = comma + 1;
    }
    return addresses;
}

}  // namespace

std::vector<std::string> recipient_addresses(std::string_view recipient) {
    if (recipient.empty()) return {};
    if (is_group(recipient)) return group_addresses(recipient);
    return {lookup_address(recipient)};
}

namespace {

// The attachments of the source message as parts 2, 3 ... of the draft
// being put together: each restored to the bytes it was sent with, under
// its own name, in a scratch folder of the work directory, and attached from
// there as an attachment the user adds is.
bool attach_source_parts(std::string_view work_directory, const draft_files& files, std::string_view source_message_dir) {
    const std::vector<int> parts = attachment_parts(source_message_dir);
    if (parts.empty()) return true;
    const std::string scratch = std::string(work_directory) + "forwarded.$$$/";
    if (directory_exists(scratch) && !delete_tree(scratch, false)) return false;
    bool ok = make_directory(scratch);
    int next = 2;
    for (std::size_t i = 0; ok && i < parts.size(); ++i) {
        std::string name;
        if (!get_part_filename(source_message_dir, parts[i], name, part_name_capacity)) name.clear();
        // Each in a folder of its own: two attachments may bear one name.
        const std::string folder = scratch + std::to_string(i) + "/";
        const std::string restored = folder + safe_attachment_name(name);
        ok = make_directory(folder) && restore_part(source_message_dir, parts[i], restored) &&
             encode_attachment(restored, files.directory, next++);
    }
    ok = delete_tree(scratch, false) && ok;
    return ok && write_status_flag(files.status, status_key_attachment, true);
}

// A quote or a forward made of a mail with characters CP932 lacks has "？"
// in their places; the user is told which they were.
void tell_lost_characters(const std::vector<std::string>& lost, reporter& report) {
    if (lost.empty()) return;
    std::string text = load_string(str::compose_lost_characters) + "\n   ";
    for (const std::string& name : lost) text += " " + name;
    report.show(message_kind::notice, text);
}

bool add_addresses(std::string_view header, std::string_view field, const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        if (!add_header_value(header, field, address)) return false;
    }
    return true;
}

// The account's automatic Cc and Bcc.
bool add_automatic_recipients(const compose_context& ctx, std::string_view header) {
    return add_addresses(header, "Cc", recipient_addresses(ctx.account.auto_cc)) &&
           add_addresses(header, "Bcc", recipient_addresses(ctx.account.auto_bcc));
}

// The account's From line, unless the header has one already.
bool add_from_line(const compose_context& ctx, std::string_view header) {
    if (has_header_line(header, "From")) return true;
    std::string line;
    if (!format_address_line(line, message_line_capacity, "From", ctx.account.address, ctx.account.name)) return false;
    return append_text(header, line);
}

bool has_first_address(std::string_view header, std::string_view field) {
    std::string address, name;
    return get_header_address(header, field, 0, address, address_capacity, name, address_capacity) &&
           !address.empty();
}

// The text up to its first line break: a typed value never adds a line.
std::string_view single_line(std::string_view text) {
    return text.substr(0, text.find_first_of(std::string_view("\n\r\x1a\0", 4)));
}

bool append_signature_to(const compose_context& ctx, std::string_view body, std::string_view signature_name) {
    if (signature_name.empty()) return true;
    return append_text(body, "\n") && append_signature(ctx.account_root, signature_name, body);
}

// Files the assembled draft into the drafts folder and opens it; the number,
// or -1 (already shown).
int file_draft(const compose_context& ctx, const draft_files& files, reporter& report, bool open_editor,
               std::string_view source_message_dir = {}, std::string_view source_flag = {}) {
    const std::string drafts = special_folder_in(ctx.account_root, special_folder::drafts);
    int number = new_message_directory(drafts, files.directory);
    if (number < 0) {
        report.error(str::file_error);
        return -1;
    }
    if (!source_flag.empty() && !write_status_flag(status_file_of(source_message_dir), source_flag, true))
        report.error(str::file_error);
    if (open_editor) open_draft_in_editor(message_directory(drafts, number), false, report);
    return number;
}

int file_error(reporter& report) {
    report.error(str::file_error);
    return -1;
}

// From and Date of a new message or a reply, and the check that the header
// then names a sender. 0 when it does; else the failure (already shown).
int add_sender(const compose_context& ctx, const draft_files& files, reporter& report) {
    if (!set_date_header(files.header) || !add_from_line(ctx, files.header)) return file_error(report);
    if (!has_first_address(files.header, "From")) {
        report.error(str::compose_bad_header);
        return -1;
    }
    return 0;
}

// The recipients of a reply: "To: " and the first address, each further one
// on a continuation line; with reply-to-all the source's To and Cc follow
// without the account's own address, Cc in its own field.
std::string reply_recipients(const header_reader& source, std::string_view own_address, bool reply_to_all) {
    std::string text;
    bool to_started = false, cc_started = false;
    auto each_address = [&](std::string_view field, auto&& take) {
        std::string address, name;
        for (int index = 0; source.address(field, index, address, address_capacity, name, address_capacity); ++index) {
            if (!address.empty()) take(address);
        }
    };
    auto add_to = [&](const std::string& address) {
        text += to_started ? ",\n " : "To: ";
        text += address;
        to_started = true;
    };
    each_address(source.has_line("Reply-To") ? "Reply-To" : "From", add_to);
    if (reply_to_all) {
        each_address("To", [&](const std::string& address) {
            if (address != own_address) add_to(address);
        });
        each_address("Cc", [&](const std::string& address) {
            if (address == own_address) return;
            // With no To line yet, the Cc addresses are the ones answered.
            if (!to_started) return add_to(address);
            text += cc_started ? ",\n " : "\nCc: ";
            text += address;
            cc_started = true;
        });
    }
    if (to_started) text += "\n";
    return text;
}

// The source's conversation as References carries it on: its References
// (or, without them, its In-Reply-To) followed by its own Message-ID, the
// oldest ids dropped first until the ids fit one line of mail; each id on a
// line of its own.
std::string references_line(const header_reader& source) {
    std::vector<std::string> chain = source.words("References", message_id_capacity);
    if (chain.empty()) chain = source.words("In-Reply-To", message_id_capacity, 1);
    const std::string id = source.first_word("Message-ID", message_id_capacity);
    if (!id.empty()) chain.push_back(id);
    std::size_t length = std::string_view("References:").size();
    std::size_t first = chain.size();
    while (first > 0 && length + 1 + chain[first - 1].size() <= wire_line_limit) length += 1 + chain[--first].size();
    if (first == chain.size()) return {};
    std::string text = "References:";
    for (std::size_t i = first; i < chain.size(); ++i) text.append(i == first ? " " : "\n ").append(chain[i]);
    return text + "\n";
}

// In-Reply-To with the source's Message-ID, and References.
std::string reply_identifiers(const header_reader& source) {
    const std::string id = source.first_word("Message-ID", message_id_capacity);
    std::string text;
    if (!id.empty()) text += std::string("In-Reply-To: ").append(id).append("\n");
    return text + references_line(source);
}

std::string forward_subject(std::string_view subject) {
    std::size_t start = 0;
    if (starts_with_nocase(subject, "Fwd:")) start = 4;
    else if (starts_with_nocase(subject, "Fw:")) start = 3;
    if (start > 0) start = skip_chars(subject, start, ": ");
    return std::string(forward_lead).append(subject.substr(start));
}

bool is_forwarded_field(std::string_view line) {
    for (std::string_view field : forwarded_fields) {
        if (is_field_line(line, field)) return true;
    }
    return false;
}

// The line cut into pieces that fit a message line behind the prefix, never
// inside a double-byte character.
void append_prefixed_pieces(std::string& out, std::string_view line, std::string_view prefix) {
    const std::size_t room = prefix.size() + 2 < message_line_limit ? message_line_limit - prefix.size() : 2;
    std::size_t pos = 0;
    do {
        std::size_t end = pos;
        while (end < line.size() && end - pos + char_length(line, end) <= room) end += char_length(line, end);
        if (end == pos && end < line.size()) end += char_length(line, end);
        out.append(prefix).append(line.substr(pos, end - pos));
        pos = end;
        if (pos < line.size()) out.push_back('\n');
    } while (pos < line.size());
}

}  // namespace

bool is_valid_recipient(std::string_view recipient) {
    return is_group(recipient) || is_address_entry(recipient) || is_valid_address(recipient);
}

int create_new_mail_with_body(const compose_context& ctx, std::string_view template_name, std::string_view recipient,
                              std::string_view subject, std::string_view signature_name, std::string_view body_text,
                              reporter& report, bool open_editor) {
    const draft_files files = draft_files_in(ctx.work_directory);
    if (!start_draft(ctx, files, true)) return file_error(report);
    if (!template_name.empty() && !apply_template(ctx.account_root, template_name, files.header, files.body))
        return file_error(report);
    if (add_sender(ctx, files, report) < 0) return -1;
    subject = single_line(subject);
    if (!subject.empty() && !has_header_line(files.header, "Subject") && !set_subject(files.header, subject))
        return file_error(report);
    if (!has_header_line(files.header, "To") &&
        !add_addresses(files.header, "To", recipient_addresses(single_line(recipient))))
        return file_error(report);
    if (!has_first_address(files.header, "To")) {
        report.error(str::compose_bad_header);
        return -1;
    }
    if (!add_automatic_recipients(ctx, files.header)) return file_error(report);
    if (!body_text.empty() && !append_text(files.body, body_text)) return file_error(report);
    if (!append_signature_to(ctx, files.body, signature_name)) return file_error(report);
    return file_draft(ctx, files, report, open_editor);
}

int create_reply(const compose_context& ctx, std::string_view source_message_dir, std::string_view template_name,
                 bool reply_to_all, std::string_view subject, bool quote, std::string_view signature_name,
                 reporter& report, bool open_editor) {
    const draft_files files = draft_files_in(ctx.work_directory);
    header_reader source;
    source.read(part_file(source_message_dir, 0));
    if (!start_draft(ctx, files, true)) return file_error(report);
    text_for_writing source_text;
    if (quote) {
        source_text = message_text_for_writing(source_message_dir);
        if (source_text.found && !append_quoted(files.body, source_text.cp932, quote_prefix)) return file_error(report);
    }
    if (!template_name.empty() && !apply_template(ctx.account_root, template_name, files.header, files.body))
        return file_error(report);
    if (add_sender(ctx, files, report) < 0) return -1;
    if (!has_header_line(files.header, "Subject") &&
        !append_text(files.header, std::string("Subject: ").append(single_line(subject)).append("\n")))
        return file_error(report);
    if (!has_header_line(files.header, "To")) {
        std::string recipients = reply_recipients(source, ctx.account.address, reply_to_all);
        if (recipients.empty()) {
            report.error(str::net_no_sender);
            return -1;
        }
        if (!append_text(files.header, recipients)) return file_error(report);
    }
    if (!has_first_address(files.header, "To")) {
        report.error(str::compose_bad_header);
        return -1;
    }
    if (!add_automatic_recipients(ctx, files.header)) return file_error(report);
    std::string identifiers = reply_identifiers(source);
    if (!identifiers.empty() && !append_text(files.header, identifiers)) return file_error(report);
    if (!append_signature_to(ctx, files.body, signature_name)) return file_error(report);
    tell_lost_characters(source_text.lost, report);
    return file_draft(ctx, files, report, open_editor, source_message_dir, status_key_replied);
}

int create_forward(const compose_context& ctx, std::string_view source_message_dir, std::string_view recipient,
                   reporter& report, bool open_editor, bool with_attachments) {
    const draft_files files = draft_files_in(ctx.work_directory);
    const std::string source_header = part_file(source_message_dir, 0);
    if (!start_draft(ctx, files, false)) return file_error(report);
    recipient = single_line(recipient);
    std::vector<std::string> addresses;
    if (is_group(recipient)) addresses = group_addresses(recipient);
    else addresses.push_back(lookup_address(recipient));
    const std::string first = addresses.empty() ? std::string() : addresses.front();
    if (!make_forward_header(files.header, source_header, ctx.account.address, ctx.account.name, first))
        return file_error(report);
    for (std::size_t i = 1; i < addresses.size(); ++i) {
        if (!add_header_value(files.header, "To", addresses[i])) return file_error(report);
    }
    if (!set_date_header(files.header)) return file_error(report);
    header_reader source;
    source.read(source_header);
    const std::string references = references_line(source);
    if (!references.empty() && !append_text(files.header, references)) return file_error(report);
    const text_for_writing source_text = message_text_for_writing(source_message_dir);
    if (!source_text.found) {
        report.notice(str::compose_no_text_part);
        return -1;
    }
    if (!make_forward_body(files.body, source_header, source_text.cp932)) return file_error(report);
    if (with_attachments && !attach_source_parts(ctx.work_directory, files, source_message_dir)) return file_error(report);
    tell_lost_characters(source_text.lost, report);
    return file_draft(ctx, files, report, open_editor, source_message_dir, status_key_forwarded);
}

int resend_message(const compose_context& ctx, std::string_view source_message_dir, reporter& report,
                   bool open_editor) {
    const draft_files files = draft_files_in(ctx.work_directory);
    if (!empty_draft_directory(ctx.work_directory, files) || !copy_tree(source_message_dir, files.directory))
        return file_error(report);
    // The copy is a new draft: its status is written before it is filed, so
    // that no half-made draft ever shows in the drafts folder.
    if (path_exists(files.status) && !delete_file(files.status)) return file_error(report);
    if (!write_initial_status(files.status, type_draft, path_exists(part_file(files.directory, 2))))
        return file_error(report);
    for (const std::string& path : {files.header, files.body}) {
        if (path_exists(path) && !set_attributes(path, no_attributes)) return file_error(report);
    }
    // The copy is a mail of its own: it gets a new id when it is sent.
    if (!set_date_header(files.header) || !remove_fields(files.header, "Message-ID")) return file_error(report);
    return file_draft(ctx, files, report, open_editor);
}

std::string reply_subject(std::string_view source_subject) {
    std::string_view rest = source_subject;
    if (starts_with_nocase(rest, reply_marker)) rest = rest.substr(skip_chars(rest, reply_marker.size(), " "));
    return cut_to_capacity(std::string(reply_lead).append(rest), subject_limit + 1);
}

std::string offered_reply_subject(std::string_view source_message_dir) {
    const std::string stored = get_subject(part_file(source_message_dir, 0), subject_limit + 1);
    const std::string offered = reply_subject(stored);
    if (!holds_lost_character_mark(stored)) return display_utf8(offered);
    std::string as_sent = sent_header::of_message(source_message_dir).shown("Subject", stored, true);
    std::string_view rest = as_sent;
    if (starts_with_nocase(rest, reply_marker)) rest = rest.substr(skip_chars(rest, reply_marker.size(), " "));
    return std::string(utf8_prefix(std::string(reply_lead).append(rest), subject_limit));
}

bool reply_to_all_possible(std::string_view source_message_dir) {
    header_reader header;
    if (!header.read(part_file(source_message_dir, 0))) return false;
    std::string address, name;
    return header.address("To", 1, address, address_capacity, name, address_capacity) ||
           header.address("Cc", 0, address, address_capacity, name, address_capacity);
}

bool append_quoted(std::string_view destination, std::string_view text, std::string_view prefix) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 16);
    line_splitter lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const bool ended = !line.empty() && line.back() == '\n';
        append_prefixed_pieces(out, without_line_feed(line), prefix);
        if (ended) out.push_back('\n');
    }
    out.push_back('\n');
    text_writer writer;
    if (!writer.open(destination, true)) return false;
    writer.write(out);
    return writer.close();
}

bool make_forward_header(std::string_view header_file, std::string_view source_header, std::string_view address,
                         std::string_view name, std::string_view recipient) {
    if (holds_line_break(recipient)) return false;
    std::string text;
    if (!format_address_line(text, message_line_capacity, "From", address, name)) return false;
    header_reader source;
    source.read(source_header);
    text.append("Subject: ").append(forward_subject(source.subject(forward_subject_capacity)));
    text.append("\nTo: ").append(recipient).append("\n");
    return write_text_file(header_file, text);
}

bool make_forward_body(std::string_view body_file, std::string_view source_header, std::string_view source_text) {
    header_reader header;
    if (!header.read(source_header)) return false;
    const std::string separator = std::string(forward_separator_length, '=') + "\n";
    std::string text = separator;
    line_splitter lines(header.text());
    std::string_view line;
    bool copying = false;
    while (lines.next(line) && !is_blank_line(line)) {
        if (!is_continuation_line(line)) copying = is_forwarded_field(line);
        if (!copying) continue;
        text += line;
        if (line.back() != '\n') text.push_back('\n');
    }
    text += separator;
    text += source_text;
    return write_text_file(body_file, text);
}

}  // namespace qm
