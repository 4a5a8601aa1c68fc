#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// Typed values of profile files and the operations that treat a file's
// section headers as a list (the address book, groups and accounts keep one
// entry per section). Readers never fail: a missing file, section or key
// gives the caller's default. Writers return false when the file could not be
// rewritten, and the file then stays as it was.
//
// Stored forms: strings as they are; a character as itself; booleans as "+"
// and "-" (the words ON and OFF, in any case, read as "+" and "-"); integers
// in decimal; reals with two decimals ("1.50").

// The longest string value a caller gets by default is 255 bytes.
inline constexpr std::size_t profile_value_capacity = 256;
// A section name handed out by profile_section_name, by default.
inline constexpr std::size_t profile_section_capacity = 256;
// How much of a stored value each typed reader looks at (capacity - 1
// characters): a boolean only sees "ON"/"OFF" when the value is no longer,
// an integer is converted from at most 11 characters, a real from 63.
inline constexpr std::size_t profile_char_capacity = 2;
inline constexpr std::size_t profile_bool_capacity = 4;
inline constexpr std::size_t profile_int_capacity = 12;
inline constexpr std::size_t profile_real_capacity = 64;

// Section headers: how many (-1 when the file cannot be read), whether one of
// exactly this name (with case) exists, and the index-th name (from 0), cut
// to capacity - 1 bytes.
int profile_count_sections(std::string_view path);
bool profile_section_exists(std::string_view path, std::string_view name);
bool profile_section_name(std::string_view path, int index, std::string& name,
                          std::size_t capacity = profile_section_capacity);

// Removes the section with all its keys; true when it is gone (also when it
// was never there).
bool profile_delete_section(std::string_view path, std::string_view name);

// The value cut to capacity - 1 bytes, or the default (cut the same way).
std::string profile_read_string(std::string_view path, std::string_view section, std::string_view key,
                                std::string_view default_value, std::size_t capacity = profile_value_capacity);
// The first byte of the value; 0 for an empty value.
char profile_read_char(std::string_view path, std::string_view section, std::string_view key, char default_value);
bool profile_read_bool(std::string_view path, std::string_view section, std::string_view key, bool default_value);
// Leading digits as atoi takes them (0 for none); a number too large for an
// int gives the nearest int.
int profile_read_int(std::string_view path, std::string_view section, std::string_view key, int default_value);

// With `keep_sorted`, a missing section is created before the first section
// whose name sorts after it, else at the end of the file.
bool profile_write_string(std::string_view path, std::string_view section, std::string_view key,
                          std::string_view value, bool keep_sorted);
bool profile_write_char(std::string_view path, std::string_view section, std::string_view key, char value,
                        bool keep_sorted);
bool profile_write_bool(std::string_view path, std::string_view section, std::string_view key, bool value,
                        bool keep_sorted);

// A profile file read once, for a caller that takes many keys of it (the
// settings and layout loaders): each reader gives what the reader of the
// same type above would give for the file as it was read; read_real
// converts as atof does, whatever the process's locale, to single
// precision. A file that cannot be read gives every default.
class profile_snapshot {
public:
    explicit profile_snapshot(std::string_view path);
    std::string read_string(std::string_view section, std::string_view key, std::string_view default_value,
                            std::size_t capacity = profile_value_capacity) const;
    char read_char(std::string_view section, std::string_view key, char default_value) const;
    bool read_bool(std::string_view section, std::string_view key, bool default_value) const;
    int read_int(std::string_view section, std::string_view key, int default_value) const;
    float read_real(std::string_view section, std::string_view key, float default_value) const;

private:
    std::optional<std::string> find(std::string_view section, std::string_view key, std::size_t capacity) const;
    std::string text_;
};

// A real as it is stored: two decimals, always with a decimal point, with
// "." whatever the process's locale ("%-#.2f" in the C locale).
std::string format_profile_real(double value);

}  // namespace qm
