#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Header fields of the store's message files, read and changed in place.
// The lookups read the file once into a header_reader and ask it.
//
// A field is a line that starts with the field's name, compared over the
// name's length without regard to case (so "To" also takes "Token:"), and
// the continuation lines after it, which start with a space or a tab. Paths
// are CP932; a "base path" is a message directory path ending with "/", and
// its part files are base + number ("0" the header, "1" the first part ...).
// A part file starts with the part's own header lines and a blank line.
//
// Outputs never hold more than capacity - 1 bytes and are never cut inside
// a double-byte character. Every rewrite goes through the file's "$$$"
// companion: when anything fails the file stays exactly as it was. Values
// given to a writer may not hold a line feed, a carriage return, a Ctrl-Z
// or a zero byte: they would add lines to the header or cut the file short,
// so the writer refuses them.

// The fields that name the people of a message: what the address list
// shows and what a fold inside an address must not break.
inline constexpr std::array<std::string_view, 5> address_field_names{"From", "Sender", "Reply-To", "To", "Cc"};

// Whether a line of the file starts with `name`; with several names, with
// any of them (the file is read once).
bool has_header_line(std::string_view path, std::string_view name);
bool has_header_line(std::string_view path, std::span<const std::string_view> names);

// The value of the first "Subject" line after its ":" and the blanks
// following it; "???" when there is none.
std::string get_subject(std::string_view path, std::size_t capacity);

// Replaces every "Subject" field by "Subject: <subject>", or appends that
// line when there is none.
bool set_subject(std::string_view header_path, std::string_view subject);

// Adds one value to an address field: after the field's first line, as a
// continuation line, with the commas put so that the list stays whole.
// Appends "<field>: <value>" when the field is not there.
bool add_header_value(std::string_view header_path, std::string_view field, std::string_view value);

// The same two changes on header text held in memory (as a text-mode read
// gives it): the changed text, or nullopt where the file operations fail.
// Several changes made this way reach the file in one rewrite.
std::optional<std::string> header_with_value(std::string_view text, std::string_view field, std::string_view value);
std::optional<std::string> header_without_address(std::string_view text, std::string_view field, int index);

// Drops every "Bcc" field from the header (up to the first blank line).
bool remove_bcc(std::string_view path);
// The same for every field whose line starts with `field`.
bool remove_fields(std::string_view path, std::string_view field);

// One address line: "<field>: <address>" without a name, "<field>: \"<name>\"
// <<address>>" with an ASCII name, "<field>: <address> (<name>)" with a
// Japanese one; with a line feed. False (and the line cut) when it does not
// fit `capacity` bytes with a terminating byte.
bool format_address_line(std::string& output, std::size_t capacity, std::string_view field,
                         std::string_view address, std::string_view name);

// The value of a field of part `part`'s own header: up to a blank, a
// semicolon or the line end ("text/plain" of "text/plain; charset=..."). The
// default when the field is not there. False when the part file cannot be
// opened, the value has no end on its line, or it does not fit `capacity`.
bool get_part_header_value(std::string_view field, std::string& value, std::string_view base_path, int part,
                           std::size_t capacity, std::string_view default_value);

// The part's media type, "text/plain" by default.
bool get_content_type(std::string_view base_path, int part, std::string& type, std::size_t capacity);
// Room for a media type: at most 127 characters.
inline constexpr std::size_t content_type_capacity = 128;

// The part's file name: the first "filename=" value, else the last "name="
// value of its header (in double quotes a backslash takes the character
// after it as it is). False when there is neither.
bool get_part_filename(std::string_view base_path, int part, std::string& name, std::size_t capacity);

// Gives the part the file name: its "Content-Disposition" field becomes
// "Content-Disposition: attachment; filename=\"<name>\"" (added to the
// part's header when it had none). A name holding a double quote is
// refused too.
bool set_part_filename(std::string_view base_path, int part, std::string_view name);

// The number of the first part whose media type is text/plain; -1 when
// there is none.
int find_text_part(std::string_view base_path);

}  // namespace qm
