#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The checks and list edits of the option and attachment dialogs. Texts are
// CP932; a check gives the string-table id of the message to show, or 0 when
// the input passes.

// Whether an attachment of this name would be taken for a virus: its
// extension (from the last ".", ASCII case ignored) is one of the extensions
// of `extensions` (the "dangerous extension" setting: each extension with
// its "." before it, without separators). Every "." of the setting begins an
// extension, so a text edited by hand ("bat.exe") still warns of ".exe".
// Dots and blanks at the end of the name do not count, as the systems that
// drop them when the file is saved would run "setup.exe." as "setup.exe".
bool has_dangerous_extension(std::string_view file_name, std::string_view extensions);

// The attachment name dialog: a name that is not empty
// (str::name_missing), a valid file name (str::folder_name_rules) and no
// dangerous extension (str::dangerous_attachment).
int check_attachment_name(std::string_view name, std::string_view extensions);

// An extension as the extension dialog takes it: without the dot, not empty
// (str::name_missing) and none of `"*./:<>?\|` (str::extension_rules).
int check_extension(std::string_view extension);

// The open-header list ("Bcc,Cc,Date"), split at each ",". An empty name
// between two commas is kept; the list ends at a final ",".
std::vector<std::string> split_open_header_list(std::string_view text);
std::string join_open_header_list(const std::vector<std::string>& names);

// The extension list (".bat.cmd"): each extension without its dot. A text
// that does not begin with "." holds none; empty extensions are left out.
std::vector<std::string> split_extension_list(std::string_view text);
std::string join_extension_list(const std::vector<std::string>& extensions);

// Adding an entry to a dialog's list: where it went, or the message that
// refused it (then `index` means nothing).
struct list_addition {
    int message = 0;
    std::size_t index = 0;
};

// The open-header list is kept sorted; a name already listed, compared
// exactly, is refused (str::name_exists), and so is one holding a "," (it
// would be read back as two names: str::open_header_comma).
list_addition add_open_header(std::vector<std::string>& names, std::string_view name);
// A valid extension (check_extension) not yet listed, compared exactly, goes
// at the end.
list_addition add_extension(std::vector<std::string>& extensions, std::string_view extension);

// Removes the index-th entry: the entry to select next (the one now at that
// place, or the last), nullopt when the list is empty.
std::optional<std::size_t> remove_list_entry(std::vector<std::string>& entries, std::size_t index);

// The key letters of the function dialog: exactly one capital letter A to Z
// for each of the key_letter_count commands (str::key_letters_rules).
int check_key_letters(std::string_view letters);

}  // namespace qm
