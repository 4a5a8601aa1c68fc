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

// The draft's header lines in wire form: each line converted to ISO-2022-JP
// and its Japanese text turned into folded encoded words; blank lines are
// left out. A line is read whole however long it is, and a carriage return
// on its own ends one (draft_lines). False when a line cannot be folded to
// fit wire_line_limit (a plain word that long).
bool write_encoded_header(std::string_view output_path, std::string_view base_path);

// The text part: "Content-Type: text/plain; charset=US-ASCII" (or
// ISO-2022-JP when the body holds any byte of 0x80 or above),
// "Content-Transfer-Encoding: 7bit", a blank line and the body lines,
// converted to ISO-2022-JP unless the body is all ASCII. A body that does
// not begin with its blank line gets one; the last line always ends. When
// a line would pass wire_line_limit, the part goes as format=flowed and its
// lines as flowed_lines gives them (message/flowed_text.h); any other body
// is sent line for line.
bool write_text_part(std::string_view output_path, std::string_view base_path);

// Attachment part `part` as it goes on the wire. A Content-Disposition
// header line with a non-ASCII file name gets the name as an RFC 2231
// value in ISO-2022-JP, "filename*=iso-2022-jp'ja'%1B%24B...%1B%28B"; when
// that does not fit part_header_line_limit, the value is split into
// numbered continuation sections ("filename*0*=iso-2022-jp'ja'...",
// "filename*1*=..."), each on a folded line of its own. The last line
// always ends.
bool write_attachment_part(std::string_view output_path, std::string_view base_path, int part);

}  // namespace qm
