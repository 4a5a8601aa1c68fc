#include "config/address_book.h"

#include <algorithm>
#include <map>

#include "config/account_settings.h"
#include "config/profile.h"
#include "config/profile_file.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "platform/string_table.h"
#include "platform/text_file.h"
#include "text/mail_address.h"
#include "base/multibyte.h"

namespace qm {

namespace {

constexpr std::string_view address_key = "address";
constexpr std::string_view member_key = "member";
constexpr std::string_view auto_recipient_keys[] = {account_key::auto_cc, account_key::auto_bcc};

std::string cut(std::string_view text, std::size_t capacity) {
    return std::string(text.substr(0, capacity == 0 ? 0 : std::min(text.size(), capacity - 1)));
}

int section_count(const std::string& path) {
    int count = profile_count_sections(path);
    return count < 0 ? 0 : count;
}

// A list file of sections that has lost its last one goes with it.
void delete_if_no_section_left(const std::string& path) {
    if (profile_count_sections(path) == 0) delete_file(path);
}

// Writes `key` into the section `new_name`; when that is a new name, the
// section `old_name` is removed afterwards. Should the removal fail, a
// section made here is taken back, so that the file holds the item once, as
// before.
bool store_renamed_section(const std::string& path, std::string_view old_name, std::string_view new_name,
                           std::string_view key, std::string_view value) {
    bool existed = profile_section_exists(path, new_name);
    if (!profile_write_string(path, new_name, key, value, true)) return false;
    if (old_name == new_name) return true;
    if (profile_delete_section(path, old_name)) return true;
    if (!existed) profile_delete_section(path, new_name);
    return false;
}

std::vector<std::string_view> split_members(std::string_view members) {
    std::vector<std::string_view> items;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = members.find(',', start);
        std::size_t length = comma == std::string_view::npos ? std::string_view::npos : comma - start;
        items.push_back(members.substr(start, length));
        if (comma == std::string_view::npos) return items;
        start = comma + 1;
    }
}

std::string join_members(const std::vector<std::string_view>& items) {
    std::string joined;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) joined += ',';
        joined.append(items[i]);
    }
    return joined;
}

// Rewrites every group's member list through `change`, which returns whether
// it changed the list; only changed lists are written back. True when every
// write succeeded.
template <typename Change>
bool change_every_group(Change change) {
    bool ok = true;
    std::string name;
    for (int index = 0; group_name(index, name); ++index) {
        std::string members = read_group_members(name);
        if (change(members)) ok = write_group(name, members) && ok;
    }
    return ok;
}

bool update_auto_recipients(std::string_view mailbox, std::string_view old_name, std::string_view new_name) {
    bool ok = true;
    for (const std::string& title : list_accounts(mailbox)) {
        std::string path = account_file(mailbox, title);
        for (std::string_view key : auto_recipient_keys) {
            if (profile_read_string(path, account_section, key, "", address_name_capacity) != old_name) continue;
            ok = profile_write_string(path, account_section, key, new_name, false) && ok;
        }
    }
    return ok;
}

// A key matches as the profile readers match it: blanks around it ignored,
// ASCII letters in any case (`wanted` is lower case).
bool is_key(std::string_view line_key, std::string_view wanted) {
    std::size_t begin = line_key.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return false;
    line_key = line_key.substr(begin, line_key.find_last_not_of(" \t") - begin + 1);
    if (line_key.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        char c = line_key[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != wanted[i]) return false;
    }
    return true;
}

}  // namespace

std::string address_book_path() { return context().program_directory + "address.ini"; }
std::string group_file_path() { return context().program_directory + "group.ini"; }

bool is_address_entry(std::string_view name) { return profile_section_exists(address_book_path(), name); }

int address_entry_count() { return section_count(address_book_path()); }

bool add_address_entry(std::string_view name, std::string_view address) {
    return profile_write_string(address_book_path(), name, address_key, address, true);
}

bool rename_address_entry(std::string_view old_name, std::string_view new_name, std::string_view address,
                          std::string_view mailbox) {
    if (!store_renamed_section(address_book_path(), old_name, new_name, address_key, address)) return false;
    if (old_name == new_name) return true;
    bool groups_ok = change_every_group([&](std::string& members) {
        std::vector<std::string_view> items = split_members(members);
        bool changed = false;
        for (std::string_view& item : items) {
            if (item != old_name) continue;
            item = new_name;
            changed = true;
        }
        if (changed) members = join_members(items);
        return changed;
    });
    bool accounts_ok = update_auto_recipients(mailbox, old_name, new_name);
    return groups_ok && accounts_ok;
}

bool delete_address_entry(std::string_view name) {
    std::string path = address_book_path();
    if (!profile_delete_section(path, name)) return false;
    delete_if_no_section_left(path);
    return change_every_group([&](std::string& members) {
        std::vector<std::string_view> items = split_members(members);
        std::size_t before = items.size();
        std::erase(items, name);
        if (items.empty() || items.size() == before) return false;
        members = join_members(items);
        return true;
    });
}

bool address_entry_name(int index, std::string& name, std::size_t capacity) {
    return profile_section_name(address_book_path(), index, name, capacity);
}

std::string lookup_address(std::string_view name, std::size_t capacity) {
    return profile_read_string(address_book_path(), name, address_key, name, capacity);
}

std::vector<std::pair<std::string, std::string>> read_address_book() {
    std::vector<std::pair<std::string, std::string>> entries;
    std::string text;
    if (!read_text_file(address_book_path(), text)) return entries;
    // Only the first section of a name is ever read or written: a later one
    // of the same name shows that section's address.
    std::map<std::string, std::size_t, std::less<>> first_of_name;
    std::size_t current = 0;
    bool inside = false;
    std::string_view rest(text);
    while (!rest.empty()) {
        std::size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
        if (is_section_header(line)) {
            std::string name(section_header_name(line));
            auto [first, added] = first_of_name.try_emplace(name, entries.size());
            current = first->second;
            inside = added;
            entries.emplace_back(std::move(name), std::string());
            continue;
        }
        std::size_t equals = line.find('=');
        if (!inside || equals == std::string_view::npos || !is_key(line.substr(0, equals), address_key)) continue;
        entries[current].second = cut(line.substr(equals + 1), address_name_capacity);
        inside = false;  // the first value line of the key counts
    }
    for (auto& [name, entry_address] : entries) {
        entry_address = entries[first_of_name.find(name)->second].second;
        name = cut(name, address_name_capacity);
    }
    return entries;
}

bool is_group(std::string_view name) { return profile_section_exists(group_file_path(), name); }

int group_count() { return section_count(group_file_path()); }

bool write_group(std::string_view name, std::string_view members) {
    return profile_write_string(group_file_path(), name, member_key, members, true);
}

bool update_group(std::string_view old_name, std::string_view new_name, std::string_view members) {
    return store_renamed_section(group_file_path(), old_name, new_name, member_key, members);
}

bool delete_group(std::string_view name) {
    std::string path = group_file_path();
    if (!profile_delete_section(path, name)) return false;
    delete_if_no_section_left(path);
    return true;
}

bool group_name(int index, std::string& name, std::size_t capacity) {
    return profile_section_name(group_file_path(), index, name, capacity);
}

std::string read_group_members(std::string_view name, std::size_t capacity) {
    return profile_read_string(group_file_path(), name, member_key, "", capacity);
}

int check_address_entry(std::string_view name, std::string_view address, bool is_new_name) {
    if (name.empty()) return str::name_missing;
    if (!is_valid_display_name(name)) return str::invalid_display_name;
    if (mbs_find_char(name, '[') != std::string_view::npos || mbs_find_char(name, ']') != std::string_view::npos ||
        name.front() == ' ' || name.back() == ' ')
        return str::entry_name_brackets;
    if (!is_valid_address(address)) return str::invalid_address;
    if (is_new_name && (is_address_entry(name) || is_group(name))) return str::name_exists;
    return 0;
}

int check_group_name(std::string_view name, bool is_new_name) {
    if (name.empty()) return str::name_missing;
    if (is_new_name && (is_group(name) || is_address_entry(name))) return str::name_exists;
    return 0;
}

int check_new_address_entry() { return address_entry_count() >= max_address_entries ? str::too_many_items : 0; }

int check_new_group() {
    if (address_entry_count() == 0) return str::group_needs_address_book;
    return group_count() >= max_groups ? str::too_many_items : 0;
}

}  // namespace qm
