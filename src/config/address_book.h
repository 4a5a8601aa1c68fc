#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

// The address book ("address.ini": one section per entry, named by the entry,
// whose key "address" holds the mail address) and the groups ("group.ini":
// one section per group, whose key "member" holds entry names joined by
// commas). Both lie in the data directory and keep their sections in name
// order. Entry and group names share one name space. A missing file is an
// empty book or an empty group list; a file that loses its last section is
// deleted.

// Names and addresses are handed out in at most 127 bytes, member lists in
// at most 32767.
inline constexpr std::size_t address_name_capacity = 128;
inline constexpr std::size_t group_members_capacity = 32768;
// Each list is shown as a menu, which holds at most this many of them.
inline constexpr int max_address_entries = 99;
inline constexpr int max_groups = 99;

std::string address_book_path();
std::string group_file_path();

bool is_address_entry(std::string_view name);
int address_entry_count();
bool add_address_entry(std::string_view name, std::string_view address);
// Gives the entry a new name and address. Groups that list the old name and
// the accounts under `mailbox` (the mailbox root) whose automatic Cc or Bcc
// is the old name take the new one. The entry is never lost: the new section
// is written before the old one goes.
bool rename_address_entry(std::string_view old_name, std::string_view new_name, std::string_view address,
                          std::string_view mailbox);
// Removes the entry and its name from every group, except from a group of
// which it is the only member (a group is never left empty).
bool delete_address_entry(std::string_view name);
bool address_entry_name(int index, std::string& name, std::size_t capacity = address_name_capacity);
// The entry's address, or the name itself when it is not an entry, so that a
// plain address passes through unchanged.
std::string lookup_address(std::string_view name, std::size_t capacity = address_name_capacity);
// Every entry (name, address) in file order, read in one pass: what
// lookup_address would give, for callers that look up many addresses at
// once.
std::vector<std::pair<std::string, std::string>> read_address_book();

bool is_group(std::string_view name);
int group_count();
bool write_group(std::string_view name, std::string_view members);
// Stores an edited group under `new_name`; the old section goes only once the
// new one is written.
bool update_group(std::string_view old_name, std::string_view new_name, std::string_view members);
bool delete_group(std::string_view name);
bool group_name(int index, std::string& name, std::size_t capacity = address_name_capacity);
std::string read_group_members(std::string_view name, std::size_t capacity = group_members_capacity);

// The checks of the entry and group dialogs, each giving the string-table id
// of the message to show, or 0 when the input passes.
int check_address_entry(std::string_view name, std::string_view address, bool is_new_name);
int check_group_name(std::string_view name, bool is_new_name);
// Whether another entry, or another group, may be added.
int check_new_address_entry();
int check_new_group();

}  // namespace qm
