#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// List files ("arrange.lst", "sign.lst", "templt_h.lst", "templt_b.lst"):
// named items, each an item line (TAB + name) followed by its text lines,
// CP932 text with CR LF line ends. They are read in pieces of at most 255
// characters, each piece counting as a line: a longer line is several
// pieces, and only a piece that begins with a TAB is an item line. Lines
// before the first item belong to no item. A missing file is an empty list.
// Every change rewrites the file through its "$$$" companion; on a failure
// the file stays as it was.

inline constexpr std::size_t list_piece_capacity = 256;
// Item names are handed out in at most 127 bytes.
inline constexpr std::size_t list_name_capacity = 128;
// The longest name an item line can hold: TAB, name and line feed are read
// back as one piece.
inline constexpr std::size_t list_name_limit = list_piece_capacity - 3;

// Whether an item of this name can be stored and read back as it is: within
// list_name_limit, without a line feed or a Ctrl-Z.
bool list_name_storable(std::string_view name);

// Number of items; -1 when the file cannot be read (a missing one included:
// callers that count a missing list as empty say so).
int list_count(std::string_view path);
// Whether an item of exactly this name (with case) exists.
bool list_has(std::string_view path, std::string_view name);
// The name of the index-th item (from 0), cut to capacity - 1 bytes.
bool list_name_at(std::string_view path, int index, std::string& name, std::size_t capacity = list_name_capacity);
// The position of the first item of exactly this name; -1 when there is
// none or the file cannot be read.
int list_index_of(std::string_view path, std::string_view name);

// Where an item of this name belongs so that names stay in byte order: the
// number of items before the first one whose name is greater; -1 when the
// file cannot be read.
int list_insert_index(std::string_view path, std::string_view name);
// The index-th text line (from 0) of the item of this name, without its line
// feed, cut to capacity - 1 bytes.
bool list_text_line(std::string_view path, std::string_view name, int line_index, std::string& line,
                    std::size_t capacity = list_piece_capacity);
// Appends every text line of the item to `destination` (created when
// missing). False when there is no such item or the append failed; the
// destination then keeps only what it held before.
bool list_append_text(std::string_view path, std::string_view name, std::string_view destination);

// Puts a new item before the index-th item, or at the end for -1 or an index
// beyond the last item: its item line, then `text` and a line feed when the
// text is not empty. A missing file is created. False, and nothing written,
// for a name holding a line feed, a text line that begins with a TAB (it
// would read back as an item) or a Ctrl-Z (it would end the file when read).
bool list_insert(std::string_view path, int index, std::string_view name, std::string_view text);
// Removes the index-th item, or the first item of this name, with its text
// lines. False when there is no such item.
bool list_delete_at(std::string_view path, int index);
bool list_delete_named(std::string_view path, std::string_view name);

}  // namespace qm
