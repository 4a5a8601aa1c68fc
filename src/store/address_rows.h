#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/string_table.h"

namespace qm {

// The address list of a mail ("記載メールアドレス一覧"): every address of the
// header fields that name people, one row each, in the order of the mail's
// header file "0", and the changes a draft allows on it: add an address to
// a field, change one, remove one.
//
// Addresses are counted within their field as the header-field operations
// count them (header_without_address): a field line and its continuation
// lines, commas outside quotes, comments and angle brackets separating the
// items, and only items from which an "@" still follows on their line. A
// field whose quote, comment or angle bracket is left open lists the
// addresses before that point only.
//
// Every change is made on the header text in memory and reaches the file in
// one rewrite through its companion: the rest of the header stays byte for
// byte as it was, and when anything fails the file is untouched.

// A field of the list, with the string-table id of its kind as the user
// calls it.
struct address_field {
    std::string_view name;
    int kind_text;
};

// The fields, in the order in which the kind choice offers them.
inline constexpr std::array<address_field, 6> address_list_fields{{
    {"From", str::address_kind_from},
    {"Sender", str::address_kind_sender},
    {"Reply-To", str::address_kind_reply_to},
    {"To", str::address_kind_to},
    {"Cc", str::address_kind_cc},
    {"Bcc", str::address_kind_bcc},
}};
inline constexpr int address_field_to = 3;

// A mail's list holds at most this many addresses: a draft takes no more
// ("これ以上の宛先は設定できません."). Longer lists of received mail are
// shown whole.
inline constexpr int max_address_rows = 100;

// The kind of a field as the list and the kind choice show it: the kind
// padded with blanks to this many bytes (columns of a fixed-width font),
// then the field name in parentheses: "宛先        (To)".
inline constexpr std::size_t address_kind_width = 12;
std::string address_kind_label(int field);

struct address_row {
    int field = 0;        // position in address_list_fields
    int index = 0;        // the address's position within its field (0 = the first)
    std::string written;  // the item as the header writes it, without the blanks around it
    std::string shown;    // the same with encoded words decoded, for the list
    std::string address;  // empty when the item holds none
    std::string name;     // its display name, empty when it has none
};

// The rows of header text as a text-mode read gives it, up to the blank line
// that ends a header.
std::vector<address_row> address_rows_of(std::string_view header_text);
// The rows of a header file; false when it cannot be read.
bool read_address_rows(std::string_view header_path, std::vector<address_row>& rows);

// The changes of a draft's list. A recipient is what the user typed: an
// address, an address-book entry (its address is written) or a group (each
// member's address). Each gives 0, or the string-table id of the message
// to show: str::invalid_address for a recipient that is none of these,
// str::address_list_too_many when the list would pass max_address_rows,
// str::file_error when the header cannot be read or written, or when `row`
// is no longer what the file holds there.

// Adds the recipient's addresses to the field: after the field's first line
// (or as a new field at the end), in the order the recipient gives them.
int add_address(std::string_view header_path, int field, std::string_view recipient);

// Puts the recipient in the place of the row's address. Within the same
// field a single address takes the old one's place; otherwise the old one
// is removed and the new ones are added as add_address adds them. A
// recipient equal to the row's address keeps the item as it was written
// (with its display name), so that only its field changes.
int change_address(std::string_view header_path, const address_row& row, int field, std::string_view recipient);

// Removes the row's address, keeping the rest of its field well formed (a
// field left without addresses is dropped).
int remove_address(std::string_view header_path, const address_row& row);

}  // namespace qm
