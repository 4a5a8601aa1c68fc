#pragma once

#include <string_view>

namespace qm {

// Takes a downloaded message apart into the files of a message directory:
// base + "0" the top-level header (without its Content- lines, encoded
// words and ISO-2022-JP turned into CP932, no blank line at the end), base +
// "1", "2" ... one file per part of the top-level multipart (or the one body
// of a single-part message). A text/plain part is stored as a blank line and
// its body in CP932; other parts keep their header lines, a blank line and
// their body (quoted-printable decoded for text types, attachments left in
// their transfer encoding with their file names decoded). A text/html-only
// message gets an empty text part "1" and the HTML as part "2". Nested
// multiparts stay whole inside one part.
//
// Text bodies: ISO-2022-JP (the default, and US-ASCII), UTF-8, Shift_JIS
// under any of its labels (Shift_JIS, shift-jis, SJIS, x-sjis, CP932, MS932,
// Windows-31J, MS_Kanji, csShiftJIS) and every other charset the converter
// knows are decoded from Base64 and quoted-printable and turned into CP932.
// A body in a charset nobody knows keeps its received bytes (a Base64 one
// stays Base64).
//
// Lines are whole lines however long; a file read stops at a Ctrl-Z byte.

// Joins the folded lines of the Subject and Content- fields, and of address
// fields (From, Sender, Reply-To, To, Cc) where a fold falls inside one
// address; an address list folded after its commas keeps its lines. Only
// headers are touched: the top-level one and those of the parts. A file
// with nothing to join is left as it is. False, with the file unchanged,
// when it cannot be read or rewritten.
bool unfold_header_file(std::string_view path);

// Splits the message file into the message directory `base_path` (ending
// with "/"), decoding each part as it completes and the header at the end,
// and deletes the source. Returns the number of the last part (0 when the
// message has no body). On any failure: -1, the message directory removed
// with everything in it, the source kept.
int split_message(std::string_view source_path, std::string_view base_path);

// Rewrites part `part` into its stored form (see above). False only when
// the part file is missing or a file step fails (the part then stays as it
// was); content that cannot be decoded is kept as received.
bool decode_part(std::string_view base_path, int part);

// Rewrites base + "0" with every line decoded (encoded words, raw
// ISO-2022-JP) into CP932; a decoded value never adds or splits a line.
bool decode_header_file(std::string_view base_path);

// Writes the body of part `part` to `output_path`: decoded from Base64 or
// quoted-printable, or as stored for 7bit, 8bit and binary (its header lines
// are never part of it). False for any other transfer encoding, and when a
// file step fails; no output file is left behind then.
bool decode_part_body(std::string_view base_path, int part, std::string_view output_path);

}  // namespace qm
