#include "store/message_status.h"

#include "config/profile.h"
#include "config/profile_file.h"
#include "message/header_reader.h"
#include "platform/companion_file.h"
#include "platform/file_handle.h"
#include "platform/file_operations.h"
#include "platform/string_table.h"
#include "platform/text_file.h"
#include "base/find_nocase.h"
#include "base/format.h"

namespace qm {

namespace {

// "X-quillmere-Status", made from the product word.
const std::string& status_line_name() {
    static const std::string name = string_printf("X-%s-Status", load_string(str::product_word).c_str());
    return name;
}

// A header line piece that is the status line gives the attribute text.
bool status_from_piece(std::string_view piece, std::string& text, std::size_t capacity) {
    if (!is_field_line(piece, status_line_name())) return false;
    if (!piece.empty() && piece.back() == '\n') piece.remove_suffix(1);
    std::size_t colon = piece.find(':');
    std::size_t start = colon == std::string_view::npos ? piece.size() : colon + 2;
    text = start < piece.size() ? std::string(piece.substr(start, capacity - 1)) : std::string();
    return true;
}

// A status value as the typed profile readers take it: the type is the
// first byte of a 2-byte read, a flag is on when a 4-byte read begins with
// "+" or is "ON" in any case.
char stored_type(std::string_view status_text) {
    std::string value;
    if (!profile_text_find_value(status_text, status_section, status_key_type, value)) return type_read;
    return value.empty() ? '\0' : value.front();
}

bool stored_flag(std::string_view status_text, std::string_view key) {
    std::string value;
    if (!profile_text_find_value(status_text, status_section, key, value)) return false;
    value = value.substr(0, profile_bool_capacity - 1);
    return (!value.empty() && value.front() == '+') || equals_nocase(value, "ON");
}

}  // namespace

std::string status_file_of(std::string_view message_dir) {
    return std::string(message_dir) + std::string(status_file_name);
}

bool write_status_type(std::string_view status_path, char type) {
    return profile_write_char(status_path, status_section, status_key_type, type, false);
}

bool write_status_flag(std::string_view status_path, std::string_view key, bool on) {
    return profile_write_bool(status_path, status_section, key, on, false);
}

std::string initial_status_text(char type, bool attachment) {
    std::string text(1, '[');
    text.append(status_section).append("]\n");
    text.append(status_key_type).append("=").push_back(type);
    text.append("\n").append(status_key_attachment).append(attachment ? "=+\n" : "=-\n");
    text.append(status_key_replied).append("=-\n").append(status_key_forwarded).append("=-\n");
    return text;
}

bool write_initial_status(std::string_view status_path, char type, bool attachment) {
    // A new message's status file is written in one step, with the bytes the
    // four single writes would give; an existing one is changed key by key.
    if (!path_exists(status_path)) {
        const std::string text = initial_status_text(type, attachment);
        return rewrite_through_companion(status_path, [&](text_writer& writer) { return writer.write(text); });
    }
    return write_status_type(status_path, type) && write_status_flag(status_path, status_key_attachment, attachment) &&
           write_status_flag(status_path, status_key_replied, false) &&
           write_status_flag(status_path, status_key_forwarded, false);
}

bool header_status_text(const header_reader& header, std::string& text, std::size_t capacity) {
    // The status line is looked for in the pieces the file is read in, so it
    // is only found at the start of a piece.
    std::optional<std::string_view> piece = header.piece_starting(status_line_name());
    return piece && status_from_piece(*piece, text, capacity);
}

bool header_status_text(std::string_view header_text, std::string& text, std::size_t capacity) {
    return header_status_text(header_reader(std::string(header_text)), text, capacity);
}

std::string status_text_attribute_text(std::string_view status_text) {
    std::string text(4, ' ');
    char type = stored_type(status_text);
    text[0] = type == '\0' ? type_read : type;
    if (stored_flag(status_text, status_key_attachment)) text[1] = '@';
    if (stored_flag(status_text, status_key_replied)) text[2] = 'R';
    if (stored_flag(status_text, status_key_forwarded)) text[3] = 'F';
    return text;
}

void normalise_attribute_text(std::string& text) {
    if (!text.empty() && text[0] == type_read) text[0] = ' ';
    if (text.size() > 2 && (text[2] == type_draft || text[2] == type_sent)) {
        text[0] = text[2];
        text[2] = ' ';
    }
}

std::string status_line_attribute_text(std::string text) {
    normalise_attribute_text(text);
    return text;
}

std::string status_file_text_attribute_text(std::string_view status_text, std::size_t capacity) {
    std::string text = status_text_attribute_text(status_text);
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    normalise_attribute_text(text);
    return text;
}

std::string read_attribute_text(std::string_view header_path, std::size_t capacity) {
    header_reader header;
    header.read(header_path);
    std::string message_dir(header_path.substr(0, header_path.empty() ? 0 : header_path.size() - 1));
    return header_attribute_text(header, status_file_of(message_dir), capacity);
}

std::string header_attribute_text(const header_reader& header, std::string_view status_path,
                                  std::size_t capacity) {
    return attribute_text_of(
        header,
        [&] {
            std::string status_text;
            if (!read_text_file(status_path, status_text)) status_text.clear();
            return status_text;
        },
        capacity);
}

}  // namespace qm
