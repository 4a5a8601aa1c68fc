#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The parts of one message as the attachment list shows and changes them.
// `message_dir` is the message directory (ending with "/"); its part files
// "1", "2" ... run without a gap, and part 1 is the body.

// Room for a part's file name as the list shows it.
inline constexpr std::size_t part_name_capacity = 256;
// What a restored part is called when its own name gives nothing usable.
inline constexpr std::string_view fallback_attachment_name = "attachment";

// Makes the file at `file_path` the next part (2 and up, the first free
// number) as an application/octet-stream part; the first one sets the
// message's attachment flag. The new part's number, or -1.
int add_attachment_part(std::string_view message_dir, std::string_view file_path);

// Deletes part `part` (2 and up) and moves the later parts down by one, so
// that no gap stays; when only the header and the body are left the
// attachment flag is cleared. A failure half-way leaves the files as far as
// they got.
bool remove_attachment_part(std::string_view message_dir, int part);

struct part_row {
    int number;
    std::string file_name;  // empty when the part names none
    std::int64_t size;      // of the part file
    std::string media_type;
};
// Every part but the body (the first text/plain part), in order.
std::vector<part_row> list_parts(std::string_view message_dir);

// Writes the content of part `part` (1 and up) to `target_path`: an
// attachment exactly as it was sent (decoded from Base64 or
// quoted-printable), the text as stored. The file appears whole or not at
// all; without `replace` an existing file is never replaced.
bool restore_part(std::string_view message_dir, int part, std::string_view target_path, bool replace = true);

// Gives part `part` (1 and up) a new file name in its Content-Disposition.
bool rename_part(std::string_view message_dir, int part, std::string_view file_name);

// The name offered for a restored part: the part's name cut after its last
// "/" (wherever it stands) or "\" (outside double-byte characters), so that
// it never leads out of the folder chosen; control characters become "_",
// leading dots, dashes and blanks go (no hidden file, nothing a shell takes
// for an option), and a name longer than a file name on disk may be (255
// bytes of UTF-8) is cut before its extension, which stays. "attachment"
// when nothing is left.
std::string safe_attachment_name(std::string_view name);

}  // namespace qm
