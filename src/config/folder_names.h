#pragma once

#include <string_view>

namespace qm {

// The characters no folder, account or attachment file name may hold:
// double quote, asterisk, slash, colon, less-than, greater-than, question
// mark, backslash and vertical bar. They are looked for as characters, so a
// double-byte character whose second byte is "\" or "|" is allowed.
inline constexpr std::string_view forbidden_name_chars = "\"*/:<>?\\|";

// A name the file systems of every platform the mailbox may travel to can
// hold: none of the forbidden characters, not "." or "..", not a device name
// ("nul", "con", "aux", "prn", "com1" to "com4", "lpt1" to "lpt9", in any
// case; "com5", "lpt0" and "lpt10" are ordinary names), and no control
// character (a line feed or a Ctrl-Z would split or end the settings lines
// that name a folder). Attachment names are checked with it too.
bool is_valid_folder_name(std::string_view name);

// The rule for account titles, whatever makes the account (the account
// dialog, the command line): a valid folder name that is not empty and does
// not begin with "." (such a directory is hidden, and a message directory
// begins with one).
bool is_valid_account_title(std::string_view title);

// Whether a directory met in the mailbox is shown as a folder: a name that
// does not begin with "." (hidden, or a message) and that a line of a text
// file can hold (a folder made outside the program may not be).
bool is_listed_folder_name(std::string_view name);

// The names of the special folders (" ごみ箱", " 受信箱", " 送信箱", "草稿",
// "送信控"), compared exactly: a folder of such a name never moves, and no
// folder can be made with or renamed to one, wherever it lies.
bool is_reserved_folder_name(std::string_view name);

// The same names compared without regard to case: the folder tree starts no
// drag from an item of such a name.
bool is_fixed_folder_name(std::string_view name);

// What a new or renamed folder must be: a valid name that does not begin
// with "." (message directories do) and is not reserved. When it is not, the
// user is shown the folder-name rule text (str::folder_name_rules).
bool is_acceptable_folder_name(std::string_view name);

}  // namespace qm
