#include "config/signatures.h"

#include "config/list_file.h"
#include "platform/file_operations.h"
#include "base/multibyte.h"

namespace qm {

namespace {

std::string list_path(std::string_view account_root, std::string_view list_name) {
    return std::string(account_root) + std::string(list_name);
}

bool usable_name(std::string_view name) { return !name.empty() && name.size() < signature_name_capacity; }

// At most `limit` bytes of the text, never half a double-byte character.
std::string_view cut_to(std::string_view text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        std::size_t next = end + char_length(text, end);
        if (next > limit) break;
        end = next;
    }
    return text.substr(0, end);
}

// The item's text lines for a multi-line edit field.
std::string joined_text(std::string_view path, std::string_view name, std::size_t capacity) {
    std::string text;
    if (capacity == 0) return text;
    std::string line;
    for (int i = 0; list_text_line(path, name, i, line); ++i) {
        text += cut_to(line, capacity - 1 - text.size());
        if (capacity - text.size() > 2) text += "\r\n";
    }
    return text;
}

// Creates an empty list file when there is none; `created` tells whether
// this call made it.
bool ensure_list_file(const std::string& path, bool& created) {
    created = !path_exists(path);
    return !created || write_text_file(path, "");
}

// A list file without items goes.
bool remove_if_empty(const std::string& path) { return list_count(path) != 0 || delete_file(path); }

// Puts the item at its sorted place; a list file made for it goes again
// when that fails. The position is handed back.
bool insert_sorted(const std::string& path, std::string_view name, std::string_view text, int& index) {
    bool created = false;
    if (!ensure_list_file(path, created)) return false;
    index = list_insert_index(path, name);
    if (index >= 0 && list_insert(path, index, name, text)) return true;
    if (created) delete_file(path);
    return false;
}

// Where the edited entry goes: the old entry's place when the name stays,
// else the new name's sorted place; -1 when it cannot go anywhere.
int edit_position(const std::string& path, std::string_view old_name, std::string_view new_name) {
    if (!usable_name(new_name) || (new_name != old_name && list_has(path, new_name))) return -1;
    return new_name == old_name ? list_index_of(path, old_name) : list_insert_index(path, new_name);
}

// The old entry's place once the new one stands at `inserted`.
int shifted(int old_index, int inserted) { return inserted <= old_index ? old_index + 1 : old_index; }

}  // namespace

std::string clean_list_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\t') out += c;
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool signature_exists(std::string_view account_root, std::string_view name) {
    return list_has(list_path(account_root, signature_list_name), name);
}

bool signature_name(std::string_view account_root, int index, std::string& name, std::size_t capacity) {
    return list_name_at(list_path(account_root, signature_list_name), index, name, capacity);
}

std::string signature_text(std::string_view account_root, std::string_view name, std::size_t capacity) {
    return joined_text(list_path(account_root, signature_list_name), name, capacity);
}

bool save_signature(std::string_view account_root, std::string_view name, std::string_view text) {
    std::string path = list_path(account_root, signature_list_name);
    if (!usable_name(name) || list_has(path, name)) return false;
    int index = 0;
    return insert_sorted(path, name, text, index);
}

bool delete_signature(std::string_view account_root, int index) {
    std::string path = list_path(account_root, signature_list_name);
    return list_delete_at(path, index) && remove_if_empty(path);
}

bool replace_signature(std::string_view account_root, std::string_view old_name, std::string_view new_name,
                       std::string_view text) {
    const std::string path = list_path(account_root, signature_list_name);
    const int old_index = list_index_of(path, old_name);
    const int index = old_index < 0 ? -1 : edit_position(path, old_name, new_name);
    if (index < 0 || !list_insert(path, index, new_name, text)) return false;
    return list_delete_at(path, shifted(old_index, index));
}

bool append_signature(std::string_view account_root, std::string_view name, std::string_view body_file) {
    return list_append_text(list_path(account_root, signature_list_name), name, body_file);
}

bool template_exists(std::string_view account_root, std::string_view name) {
    return list_has(list_path(account_root, template_header_list_name), name);
}

bool template_name(std::string_view account_root, int index, std::string& name, std::size_t capacity) {
    return list_name_at(list_path(account_root, template_header_list_name), index, name, capacity);
}

bool template_text(std::string_view account_root, std::string_view name, std::string& header,
                   std::size_t header_capacity, std::string& body, std::size_t body_capacity) {
    std::string header_path = list_path(account_root, template_header_list_name);
    std::string body_path = list_path(account_root, template_body_list_name);
    header = joined_text(header_path, name, header_capacity);
    body = joined_text(body_path, name, body_capacity);
    return list_has(header_path, name) && list_has(body_path, name);
}

bool save_template(std::string_view account_root, std::string_view name, std::string_view header,
                   std::string_view body) {
    std::string header_path = list_path(account_root, template_header_list_name);
    std::string body_path = list_path(account_root, template_body_list_name);
    if (!usable_name(name) || list_has(header_path, name)) return false;
    int index = 0;
    if (!insert_sorted(header_path, name, header, index)) return false;

    bool created = false;
    if (ensure_list_file(body_path, created)) {
        if (list_insert(body_path, index, name, body)) return true;
        if (created) delete_file(body_path);
    }
    // Only the header entry just made is taken back: the other templates'
    // headers stay.
    list_delete_at(header_path, index);
    remove_if_empty(header_path);
    return false;
}

bool replace_template(std::string_view account_root, std::string_view old_name, std::string_view new_name,
                      std::string_view header, std::string_view body) {
    const std::string header_path = list_path(account_root, template_header_list_name);
    const std::string body_path = list_path(account_root, template_body_list_name);
    const int old_index = list_index_of(header_path, old_name);
    if (old_index < 0 || list_index_of(body_path, old_name) != old_index) return false;
    const int index = edit_position(header_path, old_name, new_name);
    if (index < 0 || !list_insert(header_path, index, new_name, header)) return false;
    if (!list_insert(body_path, index, new_name, body)) {
        list_delete_at(header_path, index);
        return false;
    }
    const int old_now = shifted(old_index, index);
    return list_delete_at(header_path, old_now) && list_delete_at(body_path, old_now);
}

bool delete_template(std::string_view account_root, int index) {
    std::string header_path = list_path(account_root, template_header_list_name);
    std::string body_path = list_path(account_root, template_body_list_name);
    if (!list_delete_at(header_path, index)) return false;
    bool ok = remove_if_empty(header_path);
    return list_delete_at(body_path, index) && remove_if_empty(body_path) && ok;
}

bool apply_template(std::string_view account_root, std::string_view name, std::string_view header_file,
                    std::string_view body_file) {
    std::string header_path = list_path(account_root, template_header_list_name);
    std::string body_path = list_path(account_root, template_body_list_name);
    if (!list_has(header_path, name) || !list_has(body_path, name)) return false;
    if (!list_append_text(header_path, name, header_file)) return false;
    return body_file.empty() || list_append_text(body_path, name, body_file);
}

}  // namespace qm
