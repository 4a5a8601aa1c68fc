#include "notepad/text_document.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <algorithm>
#include <memory>
#include <optional>

#include <unistd.h>

#include "platform/attributes.h"
#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/file_handle.h"
#include "platform/string_table.h"
#include "platform/text_file.h"
#include "base/find_nocase.h"
#include "base/format.h"
#include "message/header_fields.h"
#include "message/message_lines.h"
#include "store/mail_reading.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/viewer_copies.h"
#include "text/display_text.h"

namespace qm {

namespace {

constexpr std::size_t subject_title_limit = 128;
constexpr std::string_view unknown_subject = "???";

struct free_deleter {
    void operator()(char* p) const { std::free(p); }
};

// The file a path names, links resolved: replacing a link would leave its
// target as it was and turn the link into a file of its own.
std::optional<std::string> resolved_path(std::string_view path, int& error) {
    const std::string name = disk_path(path);
    std::unique_ptr<char, free_deleter> real(name.empty() ? nullptr : ::realpath(name.c_str(), nullptr));
    error = real ? 0 : (name.empty() ? EINVAL : errno);
    if (!real) return std::nullopt;
    return program_name(real.get());
}

std::string directory_of(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string(".") : std::string(path.substr(0, slash + 1));
}

// Saving puts a new file in the directory and renames it over the old one.
bool can_replace_in(std::string_view directory) {
    const std::string name = disk_path(directory);
    return !name.empty() && ::access(name.c_str(), W_OK | X_OK) == 0;
}

// The message directory of a draft's header or body file; empty for any
// other file.
std::string draft_directory_of(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    const std::string_view name = path.substr(slash + 1);
    if (name != "0" && name != "1") return {};
    const std::string directory(path.substr(0, slash + 1));
    const std::size_t parent = directory.rfind('/', directory.size() - 2);
    if (parent == std::string::npos || !message_number_of(std::string_view(directory).substr(parent + 1, directory.size() - parent - 2)))
        return {};
    return read_attribute_text(directory + "0").c_str()[0] == type_draft ? directory : std::string();
}

// The value of the first "Subject:" line of a text, without its line end.
std::string subject_line_value(std::string_view text) {
    line_splitter lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (is_blank_line(line)) break;
        if (!starts_with_nocase(line, "Subject:")) continue;
        std::string_view value = without_line_feed(line.substr(8));
        value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
        return std::string(value);
    }
    return {};
}

std::size_t longest_line(std::string_view text) {
    std::size_t longest = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

bool has_text_after_end(std::string_view path) {
    std::string bytes;
    if (!read_binary_file(path, bytes)) return false;
    const std::size_t end = bytes.find(ctrl_z);
    return end != std::string::npos && end + 1 < bytes.size();
}

}  // namespace

document_opening open_text_document(std::string_view path, text_document& document, held_file& hold) {
    int error = 0;
    std::optional<std::string> file = resolved_path(path, error);
    if (!file) return error == ENOENT || error == ENOTDIR ? document_opening::missing : document_opening::unreadable;
    held_file opened;
    text_document read;
    if (!opened.hold(*file) || !read_text_file(*file, read.text)) return document_opening::unreadable;
    if (read.text.starts_with(utf8_text_mark)) {
        read.text.erase(0, utf8_text_mark.size());
        read.utf8 = true;
    }
    read.path = std::move(*file);
    read.draft_directory = draft_directory_of(read.path);
    read.read_only = is_read_only(read.path) || !can_replace_in(directory_of(read.path)) ||
                     longest_line(read.text) > editable_line_limit;
    read.text_after_end = has_text_after_end(read.path);
    document = std::move(read);
    hold = std::move(opened);
    return document_opening::ok;
}

bool save_text_document(std::string_view path, std::string_view text, held_file& hold, bool utf8) {
    const std::string companion = companion_path(path);
    held_file fresh;
    // Held while it is still the companion, the new file is never shown
    // without being held, not even between the rename and a new open.
    const bool saved = rewrite_through_companion(
        path, [&](text_writer& out) {
            return (!utf8 || out.write(utf8_text_mark)) && out.write(text) && fresh.hold(companion);
        });
    if (saved) hold = std::move(fresh);
    return saved;
}

std::string shown_text(const text_document& document) {
    return document.read_only ? in_short_lines(document.text, shown_line_limit, document.utf8) : document.text;
}

std::string document_title(std::string_view path, bool read_only) {
    const std::size_t slash = path.rfind('/');
    std::string title(slash == std::string_view::npos ? path : path.substr(slash + 1));
    if (read_only) title += " " + load_string(str::notepad_read_only_mark);
    return title;
}

std::string mail_title(const text_document& document) {
    const std::string plain = display_utf8(document_title(document.path, document.read_only));
    if (!document.draft_directory.empty()) {
        const std::string subject = get_subject(document.draft_directory + "0", subject_title_limit);
        if (subject.empty() || subject == unknown_subject) return plain;
        return string_printf(display_utf8(load_string(str::notepad_title_draft)).c_str(), display_utf8(subject).c_str());
    }
    const std::size_t slash = document.path.rfind('/');
    if (!std::string_view(document.path).substr(slash == std::string::npos ? 0 : slash + 1).starts_with(viewer_copy_prefix))
        return plain;
    const std::string subject = subject_line_value(document.text);
    if (subject.empty()) return plain;
    return string_printf(display_utf8(load_string(str::notepad_title_viewer)).c_str(),
                         (document.utf8 ? subject : display_utf8(subject)).c_str());
}

}  // namespace qm
