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
// case; "com5", "lpt0" and "lpt10" are ordinary names). Account titles and
// attachment names are checked with it too.
bool is_valid_folder_name(std::string_view name);

// The names of the special folders (" ごみ箱", " 受信箱", " 送信箱", "草稿",
// "送信控"), compared exactly: a folder of such a name never moves, and no
// folder can be made with or renamed to one, wherever it lies.
bool is_reserved_folder_name(std::string_view name);

// What a new or renamed folder must be: a valid name that does not begin
// with "." (message directories do) and is not reserved. When it is not, the
// user is shown the folder-name rule text (str::folder_name_rules).
bool is_acceptable_folder_name(std::string_view name);

}  // namespace qm
