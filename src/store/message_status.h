#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

class header_reader;

// A message's status lives in "status.ini" beside its numbered files,
// section "mail status".
inline constexpr std::string_view status_file_name = "status.ini";
inline constexpr std::string_view status_section = "mail status";
inline constexpr std::string_view status_key_type = "type";
inline constexpr std::string_view status_key_attachment = "attachment";
inline constexpr std::string_view status_key_replied = "replied";
inline constexpr std::string_view status_key_forwarded = "forwarded";

// Message types.
inline constexpr char type_new = '!';
inline constexpr char type_read = 'R';
inline constexpr char type_draft = 'D';
inline constexpr char type_sent = 'S';

// The attribute text is read into 6 bytes: at most five characters.
inline constexpr std::size_t attribute_text_capacity = 6;

// "status.ini" of a message directory (ending with "/").
std::string status_file_of(std::string_view message_dir);

// Writes one key of the status: a type character, or a flag as "+"/"-".
bool write_status_type(std::string_view status_path, char type);
bool write_status_flag(std::string_view status_path, std::string_view key, bool on);

// The status of a newly filed or composed message: type, attachment, and
// replied and forwarded off. The text is what the file holds as read in
// text mode.
std::string initial_status_text(char type, bool attachment);
bool write_initial_status(std::string_view status_path, char type, bool attachment);

// The status-line form of the attribute text, when the header carries an
// "X-quillmere-Status" line (the text two characters after its first ":",
// cut to capacity - 1 bytes); false when it has none. The line is looked for
// at the start of the message line pieces the header is read in.
bool header_status_text(const header_reader& header, std::string& text,
                        std::size_t capacity = attribute_text_capacity);
bool header_status_text(std::string_view header_text, std::string& text,
                        std::size_t capacity = attribute_text_capacity);

// The same from the text of a status file already read in text mode.
std::string status_text_attribute_text(std::string_view status_text);

// The attribute text of a message whose header file "0" is at `header_path`:
// from its status line when it has one, else from its "status.ini"; a read
// type shows as blank and a "D" or "S" in the third place moves to the first.
std::string read_attribute_text(std::string_view header_path, std::size_t capacity = attribute_text_capacity);
// The same for a header already read; the status file is read only when
// the header has no status line.
std::string header_attribute_text(const header_reader& header, std::string_view status_path,
                                  std::size_t capacity = attribute_text_capacity);

// The display form of a status line's attribute text, and of the attribute
// text of a status file's text (cut to capacity - 1 bytes).
std::string status_line_attribute_text(std::string text);
std::string status_file_text_attribute_text(std::string_view status_text,
                                            std::size_t capacity = attribute_text_capacity);

// The attribute text from the header's status line, or else from the status
// file's text, which `read_status_text` gives (asked only then).
template <typename ReadStatusText>
std::string attribute_text_of(const header_reader& header, ReadStatusText read_status_text,
                              std::size_t capacity = attribute_text_capacity) {
    std::string text;
    if (header_status_text(header, text, capacity)) return status_line_attribute_text(std::move(text));
    return status_file_text_attribute_text(read_status_text(), capacity);
}

// Applies the display rules above to a raw attribute text.
void normalise_attribute_text(std::string& text);

}  // namespace qm
