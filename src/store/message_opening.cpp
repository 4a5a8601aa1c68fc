#include "store/message_opening.h"

#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "message/header_fields.h"
#include "message/html_text.h"
#include "message/mime_reader.h"
#include "platform/attributes.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "platform/program_launch.h"
#include "store/mail_reading.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "base/find_nocase.h"
#include "base/multibyte.h"
#include "text/utf8_text.h"

namespace qm {

namespace {

// The "open header" setting, read anew each time: comma-separated field
// names, each kept as a prefix compared with case.
std::vector<std::string> open_header_prefixes() {
    std::string list = read_open_header_list("");
    std::vector<std::string> prefixes;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        if (comma > start) prefixes.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return prefixes;
}

// A copy holding exactly the file's bytes.
bool copy_bytes(std::string_view source, std::string_view copy) {
    std::string bytes;
    return read_binary_file(source, bytes) && write_binary_file(copy, bytes);
}

// Makes a new temporary copy with `fill`, then marks it read-only; the
// copy's path, or nullopt after the failure was shown.
template <typename Fill>
std::optional<std::string> make_copy(std::string_view name_template, Fill fill, reporter& report) {
    std::optional<std::string> copy = unique_temporary_file(name_template);
    if (copy && fill(*copy) && set_attributes(*copy, read_only_mark)) return copy;
    report.error(str::file_error);
    return std::nullopt;
}

bool start_on(std::string_view program, std::string_view document, reporter& report) {
    if (start_program(program, document)) return true;
    report.error(str::system_error);
    return false;
}

// A line longer than this is broken for the viewer, which could take minutes
// to lay out a line of megabytes; no line of mail as sent is longer.
constexpr std::size_t viewer_line_limit = 998;
constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";

// The copy's text with every line of more than viewer_line_limit bytes
// broken into lines of at most that many, never inside a character.
std::string with_long_lines_broken(std::string_view text, bool utf8) {
    std::string out;
    out.reserve(text.size() + text.size() / viewer_line_limit);
    std::size_t column = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        if (text[pos] == '\n') {
            out.push_back('\n');
            column = 0;
            ++pos;
            continue;
        }
        const std::size_t length = utf8 ? utf8_step(text, pos) : char_length(text, pos);
        if (column + length > viewer_line_limit) {
            out.push_back('\n');
            column = 0;
        }
        out.append(text.substr(pos, length));
        column += length;
        pos += length;
    }
    return out;
}

// A copy in UTF-8 says so with its first bytes, so that the viewer (and
// any editor) reads it as UTF-8 and not as the CP932 of every other copy.
bool write_viewer_copy(std::string_view path, const reading_copy& copy) {
    std::string text = with_long_lines_broken(copy.text, copy.utf8);
    if (copy.utf8) text.insert(0, utf8_mark);
    return write_text_file(path, text);
}

}  // namespace

bool open_draft_in_editor(std::string_view message_dir, bool header, reporter& report) {
    return start_on(settings().text_editor, part_file(message_dir, header ? 0 : 1), report);
}

open_outcome open_message(std::string_view folder, std::string_view account_root, int number, bool all_headers,
                          reporter& report) {
    const open_outcome failed{false, false};
    std::string message_dir = message_directory(folder, number);
    std::string header = part_file(message_dir, 0);
    if (!path_exists(header)) {
        report.error(str::file_error);
        return failed;
    }
    char type = read_attribute_text(header).c_str()[0];

    if (type == type_draft) {
        // A deleted draft stays as it is until it is taken out of the trash.
        if (lies_in_trash(account_root, folder)) return {true, false};
        return {open_draft_in_editor(message_dir, all_headers, report), false};
    }

    if (all_headers) {
        const reading_copy whole = reading_copy_of(message_dir, nullptr, true);
        auto copy = make_copy(
            text_copy_template, [&](const std::string& path) { return write_viewer_copy(path, whole); }, report);
        return {copy && start_on(settings().text_viewer, *copy, report), false};
    }

    const std::vector<std::string> prefixes = open_header_prefixes();
    const reading_copy reading = reading_copy_of(message_dir, &prefixes);
    if (!reading.found) return {true, false};
    auto copy = make_copy(
        text_copy_template, [&](const std::string& path) { return write_viewer_copy(path, reading); }, report);
    if (!copy || !start_on(settings().text_viewer, *copy, report)) return failed;
    if (type != type_new) return {true, false};
    if (!write_status_type(status_file_of(message_dir), type_read)) {
        report.error(str::file_error);
        return failed;
    }
    return {true, true};
}

bool view_part(std::string_view message_dir, int part, reporter& report) {
    std::string type;
    if (part < 1 || !get_content_type(message_dir, part, type, content_type_capacity)) {
        report.error(str::file_error);
        return false;
    }
    std::string source = part_file(message_dir, part);
    std::optional<std::string> text = part_text_to_view(message_dir, part);
    auto fill = [&](const std::string& path) { return text ? write_text_file(path, *text) : copy_bytes(source, path); };
    if (equals_nocase(type, "text/html")) {
        // The document alone, in UTF-8 and marked so: the browser needs
        // neither the part's header nor its charset parameter to read it.
        std::optional<stored_body> body = read_stored_body(message_dir, part);
        if (!body) {
            report.error(str::file_error);
            return false;
        }
        const std::string document = std::string(utf8_mark) + html_as_utf8(body->bytes, body->charset);
        // No program named: the desktop's program for HTML files shows it.
        auto copy = make_copy(
            html_copy_template, [&](const std::string& path) { return write_binary_file(path, document); }, report);
        return copy && start_on("", *copy, report);
    }
    auto copy = make_copy(text_copy_template, fill, report);
    return copy && start_on(settings().text_viewer, *copy, report);
}

}  // namespace qm
