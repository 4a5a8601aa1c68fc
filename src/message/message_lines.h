#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_file.h"

namespace qm {

// Lines of message files as the header and MIME code sees them: whole
// physical lines, each with its line feed (only the last line of a file may
// lack one). A line longer than a reading piece stays one line, so its tail
// is never taken for a line of its own (a blank line, a boundary, a field).

// Reads the next whole line, line feed included. False at the end.
inline bool read_whole_line(text_reader& reader, std::string& line) {
    return reader.read_piece(line, std::numeric_limits<std::size_t>::max());
}

// A message file read whole, every CR LF turned into LF (a lone CR stays).
// Unlike a text-mode read it does not stop at a Ctrl-Z byte: in received
// mail that is data. False when the file cannot be opened or read.
bool read_message_text(std::string_view path, std::string& text);
// The same for bytes already in memory.
std::string message_text_of(std::string_view bytes);
// The same in place: no second copy of a large message.
void to_message_text(std::string& bytes);

// Walks the lines of text held in memory.
class line_splitter {
public:
    explicit line_splitter(std::string_view text) : text_(text) {}

    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        end = end == std::string_view::npos ? text_.size() : end + 1;
        line = text_.substr(pos_, end - pos_);
        pos_ = end;
        return true;
    }

    // What has not been handed out yet.
    std::string_view rest() const { return text_.substr(pos_); }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

inline bool is_blank_line(std::string_view line) { return line == "\n"; }
inline bool is_continuation_line(std::string_view line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// The line without its line feed.
inline std::string_view without_line_feed(std::string_view line) {
    return !line.empty() && line.back() == '\n' ? line.substr(0, line.size() - 1) : line;
}

// At most capacity - 1 bytes of the text, never ending in half a
// double-byte character.
std::string cut_to_capacity(std::string_view text, std::size_t capacity);

// The position of the first byte at or after `pos` that is not one of
// `chars`.
std::size_t skip_chars(std::string_view text, std::size_t pos, std::string_view chars);

// The header lines of a part file, up to (not including) the blank line
// that ends them; nullopt when the file cannot be opened.
std::optional<std::vector<std::string>> read_part_header(std::string_view part_path);

// The value of the first line that starts with `field` (any case): the name
// and one character skipped, then tabs, spaces and colons; it ends at a line
// feed, tab, space or semicolon. nullopt when no end follows or the value
// with a terminating byte would not fit `capacity`; the default when no line
// starts with the field.
std::optional<std::string> part_header_value(const std::vector<std::string>& header, std::string_view field,
                                             std::size_t capacity, std::string_view default_value);

// A parameter value that starts at `pos` (after "name="): tabs, spaces and
// double quotes skipped; a value that opened with a double quote ends at the
// next one, any other at the first of `ends`. nullopt when no end is found
// and `need_end` is set.
std::optional<std::string_view> parameter_value(std::string_view line, std::size_t pos, std::string_view ends,
                                                bool need_end);

// The file name a part's header gives: the first "filename=" value, else
// the last "name=" value; nullopt when there is neither. In a quoted value
// a backslash takes the next character as it is (RFC 2045 quoted pairs: a
// name may hold a double quote); a double-byte character is never cut.
std::optional<std::string> part_file_name(const std::vector<std::string>& header);

// The boundary named by the "boundary=" parameter of a line, with the "--"
// that starts its delimiter lines; empty when the line names none.
std::string boundary_delimiter(std::string_view line);

// The lines one after another.
std::string joined_lines(const std::vector<std::string>& lines);

// A header line after decoding: a Ctrl-Z that a decoded word put into it
// becomes a blank, so that reading the stored header does not stop there.
void neutralize_ctrl_z(std::string& line);

// Writes the text to `path` (in text mode) through its "$$$" companion; the
// file stays as it was when anything fails.
bool rewrite_text(std::string_view path, std::string_view text);


}  // namespace qm
