#include "config/folder_names.h"

#include <algorithm>

#include "base/find_nocase.h"
#include "platform/string_table.h"
#include "platform/text_file.h"
#include "base/multibyte.h"

namespace qm {

namespace {

// "com1".."com4" and "lpt1".."lpt9": the prefix in any case and one digit.
bool is_numbered_device(std::string_view name, std::string_view prefix, char last_digit) {
    return name.size() == prefix.size() + 1 && equals_nocase(name.substr(0, prefix.size()), prefix) &&
           name.back() >= '1' && name.back() <= last_digit;
}

// Whether the name is one of the special folders' names, as `same` compares.
template <typename Compare>
bool is_special_folder_name(std::string_view name, Compare same) {
    for (int id : {str::folder_trash, str::folder_inbox, str::folder_outbox, str::folder_drafts, str::folder_sent}) {
        if (same(name, load_string(id))) return true;
    }
    return false;
}

}  // namespace

bool is_valid_folder_name(std::string_view name) {
    // No double-byte character ends in "/": one after a lead byte is still a
    // separator on disk (and would lead out of the folder).
    if (name.find('/') != std::string_view::npos) return false;
    if (mbs_holds_any_of(name, forbidden_name_chars) || holds_control_char(name) || name == "." || name == "..") return false;
    for (std::string_view device : {"nul", "con", "aux", "prn"}) {
        if (equals_nocase(name, device)) return false;
    }
    return !is_numbered_device(name, "com", '4') && !is_numbered_device(name, "lpt", '9');
}

bool is_reserved_folder_name(std::string_view name) {
    return is_special_folder_name(name, [](std::string_view a, std::string_view b) { return a == b; });
}

bool is_fixed_folder_name(std::string_view name) {
    return is_special_folder_name(name, [](std::string_view a, std::string_view b) { return equals_nocase(a, b); });
}

bool is_valid_account_title(std::string_view title) {
    return !title.empty() && title.front() != '.' && is_valid_folder_name(title);
}

bool is_listed_folder_name(std::string_view name) {
    return !name.empty() && name.front() != '.' && !holds_line_break(name);
}

bool is_acceptable_folder_name(std::string_view name) {
    return is_valid_folder_name(name) && (name.empty() || name.front() != '.') && !is_reserved_folder_name(name);
}

}  // namespace qm
