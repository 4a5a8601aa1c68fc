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

bool set_attachment_flag(std::string_view message_dir, bool on) {
    return write_status_flag(status_file_of(message_dir), status_key_attachment, on);
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
    std::size_t start = 0;
    for (std::size_t pos = 0; pos < name.size(); pos += char_length(name, pos)) {
        if (name[pos] == '/' || name[pos] == '\\') start = pos + 1;
    }
    std::string_view last = name.substr(start);
    if (last.empty() || last == "." || last == "..") return std::string(fallback_attachment_name);
    return std::string(last);
}

}  // namespace qm
