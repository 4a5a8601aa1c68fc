#pragma once

#include <cstddef>
#include <string_view>

namespace qm {

// Writes outgoing mail in its wire form. A draft is a directory of CP932
// text files named base + number: "0" the header, "1" the body (its first
// line empty, so that it also ends the part header), "2", "3" ... one
// attachment part each, without gaps. The wire form is 7-bit text written in
// text mode (CR LF on disk): the header converted to ISO-2022-JP with encoded
// words, "X-Mailer" and "MIME-Version", then either one 7bit text part or a
// multipart/mixed body with the text part first and every attachment as an
// application/octet-stream Base64 part, all under one fixed boundary.
//
// Every file these functions write appears whole or not at all, and the
// draft's own files are never changed (except the new part file that
// encode_attachment makes).

inline constexpr std::string_view multipart_boundary = "=_mime_multipart_boundary";

// A part header line may hold at most this many characters, its line feed
// included: the store reads part headers in lines of that size.
inline constexpr std::size_t part_header_line_limit = 255;

// Continuation sections of a long attachment name are folded to lines of at
// most this many characters (without the line feed).
inline constexpr std::size_t parameter_section_width = 76;

// Bytes of an attachment per Base64 line (76 characters).
inline constexpr std::size_t base64_line_bytes = 57;

// Writes the whole wire form of the draft at `base_path` into
// `outbox_path`, with `mailer` as the X-Mailer value. No line of it is
// longer than wire_line_limit, and it holds no bare carriage return. False,
// with no file at `outbox_path`, when anything fails: a missing header or
// body file, a header line that cannot be folded, an attachment part that
// cannot be read, a write error.
bool compose_message(std::string_view base_path, std::string_view outbox_path, std::string_view mailer);

// Makes part `part` (2 and up) of the draft from the file at `source_path`:
// the part header naming the file by the last component of its path, then
// its bytes in Base64. Refused (false, no file written) for a missing or
// empty source, a part number below 2, and a name that holds a double quote
// or a control character or is too long for its Content-Disposition line to
// fit part_header_line_limit. A failure leaves no new file, and a file that
// was there keeps its contents.
bool encode_attachment(std::string_view source_path, std::string_view base_path, int part);

}  // namespace qm
