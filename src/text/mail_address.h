#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// Checks of what the user types into the address book and the account
// settings. An address needs one "@" with a "." after it, and none of the
// characters " \"(),:;<>[\\]", no control character and no byte of 0x80 or
// above.
bool is_valid_address(std::string_view text);

// A display name may hold anything but the characters "\"(),<>@"; the
// second byte of a double-byte character is never taken for one of them.
inline constexpr std::string_view display_name_forbidden_chars = "\"(),<>@";
bool is_valid_display_name(std::string_view text);

// Letters, digits and "!#$%&'*+-./=?@^_`{|}~". "@" and "." belong to them,
// so one run of these characters spans a whole address.
bool is_atom_char(char c);

// Position of the comma ending the address that starts at `pos`, or of the
// line feed / end of text; npos when a quote, comment or angle bracket is
// left open, and when `pos` lies beyond the text.
std::size_t find_address_end(std::string_view text, std::size_t pos);

// One address item ("Name <a@b.example>", "\"Name\" <a@b.example>",
// "a@b.example (Name)", "a@b.example"), taken up to find_address_end. Either
// output may be null (not asked for); a result holds at most capacity - 1
// bytes and never half a double-byte character. The name is the phrase
// before "<" when there is one, else the text of the first comment; the
// address is the run of atom characters around the first "@" (empty when
// there is none). False, with both outputs empty, when a quote, comment or
// angle bracket is left open.
bool split_address(std::string_view item, std::string* name, std::size_t name_capacity,
                   std::string* address, std::size_t address_capacity);

// The address at `index` (0 = the first) of a header field, over its
// continuation lines, with its display name, from header text as read in
// text mode. The text is looked at in message line pieces up to the blank
// line that ends the header (a piece of a long line is no blank line).
// False when the field or that address is not there, or when the address
// is malformed.
bool get_header_text_address(std::string_view header_text, std::string_view field, int index,
                             std::string& address, std::size_t address_capacity,
                             std::string& name, std::size_t name_capacity);

// The same from the header file at `path`, read once in text mode.
bool get_header_address(std::string_view path, std::string_view field, int index,
                        std::string& address, std::size_t address_capacity,
                        std::string& name, std::size_t name_capacity);

}  // namespace qm
