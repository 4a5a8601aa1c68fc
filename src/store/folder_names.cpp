#include "store/folder_names.h"

#include "platform/string_table.h"
#include "text/multibyte.h"

namespace qm {

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_nocase(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ascii_lower(text[i]) != lower_word[i]) return false;
    }
    return true;
}

// "com1".."com4" and "lpt1".."lpt9": the prefix in any case and one digit.
bool is_numbered_device(std::string_view name, std::string_view prefix, char last_digit) {
    return name.size() == prefix.size() + 1 && equals_nocase(name.substr(0, prefix.size()), prefix) &&
           name.back() >= '1' && name.back() <= last_digit;
}

bool holds_forbidden_char(std::string_view name) {
    for (char c : forbidden_name_chars) {
        if (mbs_find_char(name, c) != std::string_view::npos) return true;
    }
    return false;
}

}  // namespace

bool is_valid_folder_name(std::string_view name) {
    if (holds_forbidden_char(name) || name == "." || name == "..") return false;
    for (std::string_view device : {"nul", "con", "aux", "prn"}) {
        if (equals_nocase(name, device)) return false;
    }
    return !is_numbered_device(name, "com", '4') && !is_numbered_device(name, "lpt", '9');
}

bool is_reserved_folder_name(std::string_view name) {
    for (int id : {str::folder_trash, str::folder_inbox, str::folder_outbox, str::folder_drafts, str::folder_sent}) {
        if (name == load_string(id)) return true;
    }
    return false;
}

bool is_acceptable_folder_name(std::string_view name) {
    return is_valid_folder_name(name) && (name.empty() || name.front() != '.') && !is_reserved_folder_name(name);
}

}  // namespace qm
