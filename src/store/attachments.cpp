#include "store/attachments.h"

#include "message/header_fields.h"
#include "message/mime_reader.h"
#include "message/mime_writer.h"
#include "platform/file_operations.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "base/find_nocase.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr int first_attachment_part = 2;
// A file name on disk takes at most 255 bytes; an extension longer than
// this is no extension worth keeping.
constexpr std::size_t disk_name_limit = 255;
constexpr std::size_t max_kept_extension = 16;

bool set_attachment_flag(std::string_view message_dir, bool on) {
    return write_status_flag(status_file_of(message_dir), status_key_attachment, on);
}

// The length of a character in the file name on disk (UTF-8): at most three
// bytes for a double-byte character or a half-width katakana.
std::size_t disk_length(std::string_view name, std::size_t pos, std::size_t length) {
    return length == 2 || is_halfwidth_kana(static_cast<unsigned char>(name[pos])) ? 3 : 1;
}

// A lead byte counts as one character with its next byte only when that
// byte can end one: "/" never does, whatever stands before it.
std::size_t name_char_length(std::string_view name, std::size_t pos) {
    const std::size_t length = char_length(name, pos);
    return length == 2 && static_cast<unsigned char>(name[pos + 1]) < 0x40 ? 1 : length;
}

// After the last "/", and the last "\" that is no second byte.
std::string last_name_component(std::string_view name) {
    std::size_t start = 0;
    for (std::size_t pos = 0; pos < name.size(); pos += name_char_length(name, pos)) {
        if (name[pos] == '/' || name[pos] == '\\') start = pos + 1;
    }
    std::string_view last = name.substr(start);
    return last == "." || last == ".." ? std::string() : std::string(last);
}

// Cut to what a file name on disk may hold, the extension kept.
std::string within_name_limit(const std::string& name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > max_kept_extension) dot = name.size();
    // The characters of the stem that fit beside the extension's.
    auto fitting = [&](std::size_t from, std::size_t to, std::size_t room) {
        std::size_t used = 0, end = from;
        while (end < to) {
            const std::size_t length = name_char_length(name, end);
            if (used + disk_length(name, end, length) > room) break;
            used += disk_length(name, end, length);
            end += length;
        }
        return std::pair{end, used};
    };
    const auto [extension_end, extension_length] = fitting(dot, name.size(), disk_name_limit);
    return name.substr(0, fitting(0, dot, disk_name_limit - extension_length).first) +
           name.substr(dot, extension_end - dot);
}

}  // namespace

int add_attachment_part(std::string_view message_dir, std::string_view file_path) {
    int part = first_attachment_part;
    while (path_exists(part_file(message_dir, part))) ++part;
    if (!encode_attachment(file_path, message_dir, part)) return -1;
    if (part == first_attachment_part && !set_attachment_flag(message_dir, true)) return -1;
    return part;
}

bool remove_attachment_part(std::string_view message_dir, int part) {
    if (part < first_attachment_part || !delete_file(part_file(message_dir, part))) return false;
    int next = part + 1;
    for (; path_exists(part_file(message_dir, next)); ++next) {
        if (!rename_path(part_file(message_dir, next), part_file(message_dir, next - 1))) return false;
    }
    // Nothing moved down onto part 2: only the header and the body are left.
    if (next == first_attachment_part + 1) return set_attachment_flag(message_dir, false);
    return true;
}

std::vector<part_row> list_parts(std::string_view message_dir) {
    std::vector<part_row> rows;
    bool body_seen = false;
    std::string type;
    for (int part = 1; get_content_type(message_dir, part, type, content_type_capacity); ++part) {
        if (!body_seen && equals_nocase(type, "text/plain")) {
            body_seen = true;
            continue;
        }
        std::string name;
        if (!get_part_filename(message_dir, part, name, part_name_capacity)) name.clear();
        rows.push_back({part, std::move(name), file_size(part_file(message_dir, part)), type});
    }
    return rows;
}

bool restore_part(std::string_view message_dir, int part, std::string_view target_path, bool replace) {
    return part >= 1 && decode_part_body(message_dir, part, target_path, replace);
}

bool rename_part(std::string_view message_dir, int part, std::string_view file_name) {
    // Part 0 is the message header, which has no disposition to change.
    return part >= 1 && set_part_filename(message_dir, part, file_name);
}

std::string safe_attachment_name(std::string_view name) {
    std::string offered = last_name_component(name);
    for (char& c : offered) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = '_';  // never a trail byte: those start at 0x40
    }
    // ".profile" would be hidden, "-rf" read as an option by a shell.
    offered.erase(0, offered.find_first_not_of(".- "));
    if (offered.empty()) return std::string(fallback_attachment_name);
    return within_name_limit(offered);
}

}  // namespace qm
