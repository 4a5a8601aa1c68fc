#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/default_profile.h"

namespace qm {

// Profile files ("quillmere.ini", "account.ini", "status.ini" ...): section
// headers "[name]" followed by "key=value" lines, CP932 text with CR LF line
// ends. These are the only functions that read or change their lines; the
// typed readers and writers in profile.h are built on them.
//
// Matching rules, shared by every reader and writer:
// - a header is a line whose first character is "["; its name is the text
//   after "[" up to the last "]" of the line (a trail byte that equals "]"
//   does not count), or the rest of the line when there is none;
// - section names are matched exactly, with case; the first section of a
//   name is the one that is read and written;
// - a value line is a line holding "="; its key is the text before the first
//   "=" with blanks around it ignored, matched without regard to ASCII case;
//   its value is every byte after that "=";
// - lines before the first header and lines of other shapes are ignored by
//   the readers and kept unchanged by the writers.
// Lines are read whole, however long.

bool is_section_header(std::string_view line);
std::string_view section_header_name(std::string_view line);

// The value of `key` in `section`; false (and `value` untouched) when the
// file, the section or the key is missing. One pass over the file that stops
// at the value.
bool profile_find_value(std::string_view path, std::string_view section, std::string_view key, std::string& value);
// The same in the text of a profile file already read in text mode, for a
// caller that looks up several keys of one small file (a message's status).
bool profile_text_find_value(std::string_view text, std::string_view section, std::string_view key,
                             std::string& value);

// The value, or `default_value` when it is missing, cut to capacity - 1
// bytes.
std::string profile_get_string(std::string_view path, std::string_view section, std::string_view key,
                               std::string_view default_value, std::size_t capacity);

// Sets the value of `key` in `section`: an existing line is replaced in place,
// a new key goes after the last value line of its section (right after the
// header when there is none), and a missing section is added with the key at
// the end of the file, or, with `keep_sorted`, before the first header whose
// name sorts after it (multibyte order), so that files whose sections are
// list entries stay in name order. A missing file is created. The file is
// rewritten through its "$$$" companion; on any failure it stays as it was.
// False as well for a section, key or value that cannot be stored on one
// line (a line feed or a Ctrl-Z in it; a key that is empty, holds "=" or
// begins with "[").
bool profile_set_string(std::string_view path, std::string_view section, std::string_view key,
                        std::string_view value, bool keep_sorted);

// Sets every value as profile_set_string would one after the other, in one
// rewrite: a settings group is saved whole, or the file stays as it was.
bool profile_set_strings(std::string_view path, const std::vector<profile_default>& values, bool keep_sorted);

// Removes the first section of this name with all its lines, up to the next
// header. True when the file no longer holds it (also when it never did, or
// the file is missing); false when the file cannot be read or rewritten, and
// then it stays as it was.
bool profile_remove_section(std::string_view path, std::string_view section);

}  // namespace qm
