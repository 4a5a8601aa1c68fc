#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Takes a downloaded message apart into the files of a message directory:
// base + "0" the top-level header (without its Content- lines, encoded
// words and ISO-2022-JP turned into CP932, no blank line at the end), base +
// "1", "2" ... one file per part: the one body of a single-part message, or
// the leaves of a multipart one, in order, however deep its multiparts are
// nested (up to multipart_depth_limit levels; a multipart below that is one
// part). A message/rfc822 part is one part, kept whole.
//
// The first text/plain part that is no attachment is the message's text: it
// is stored as a blank line and its body in CP932. Other text/plain parts
// that are no attachment are stored the same way; other text types (HTML)
// keep their header lines, a blank line and their body with quoted-printable
// decoded. Attachments (a part with a file name, or with the disposition
// "attachment"), text/plain ones included, and every part that is not text
// keep their header lines (file names decoded), a blank line and their body
// as it came, in its transfer encoding, so that restoring one gives back the
// bytes that were sent. When an attached text file would come before the
// text (or there is no text but an attached text file), the text (or an
// empty text part) becomes part "1", so that the first text/plain part is
// always the text. A text/html-only message gets an empty text part "1" and
// the HTML as part "2".
//
// Text bodies: ISO-2022-JP (the default, and US-ASCII), UTF-8, Shift_JIS
// under any of its labels (Shift_JIS, shift-jis, SJIS, x-sjis, CP932, MS932,
// Windows-31J, MS_Kanji, csShiftJIS) and every other charset the converter
// knows are decoded from Base64 and quoted-printable and turned into CP932;
// a body without a charset that is raw 8-bit UTF-8 is read as UTF-8. A body
// in a charset nobody knows keeps its received bytes (a Base64 one stays
// Base64).
//
// Lines are whole lines however long, and a Ctrl-Z byte is data, never the
// end of the message (in the text part it becomes a blank, since readers of
// the store stop there).

// The levels of multipart that are walked; a multipart nested deeper is kept
// whole as one part.
inline constexpr int multipart_depth_limit = 32;

// Joins the folded lines of the Subject and Content- fields, and of address
// fields (From, Sender, Reply-To, To, Cc) where a fold falls inside one
// address; an address list folded after its commas keeps its lines. Only
// headers are touched: the top-level one and those of the parts. The text
// is a message held in memory (LF line ends); whether anything was joined.
bool unfold_header_text(std::string& text);

// A message split into the files of its message directory, its header and
// parts stored as described above, held in memory: files[n] is the text of
// file "n" (LF line ends; the file has CR LF), and the number of the last
// part (0 when the message has no body).
// `text` is the message with LF line ends (as read_message_text reads it)
// and its header unfolded (unfold_header_text).
struct split_files {
    std::vector<std::string> files;
    int last_part = 0;
};
split_files split_message_text(std::string_view text);
// The same files one at a time, each handed to `take` (its number and text,
// which `take` may move from) and dropped before the next is made, so that
// no more than one part is held besides the message: the last part's
// number, or -1 when `take` said stop.
int split_message_files(std::string_view text, const std::function<bool(std::size_t, std::string&)>& take);

// The text part `part` (1 and up) of the message as split_message_text
// stores it, in UTF-8 with every character as sent (see
// stored_text_unicode). nullopt when that part is not stored as text.
std::optional<std::string> text_part_unicode(std::string_view text, int part);

// Writes the body of part `part` to `output_path`: decoded from Base64 or
// quoted-printable (a hard line break written as CR LF, the line end of
// mail), or as stored for 7bit, 8bit and binary (with CR LF; its header
// lines are never part of it). False for any other transfer encoding, and
// when a file step fails. The output appears whole or not at all: a file
// already at `output_path` stays as it was when anything fails, and without
// `replace` it is never replaced.
bool decode_part_body(std::string_view base_path, int part, std::string_view output_path, bool replace = true);

// The body of a stored part with its transfer encoding undone: Base64 and
// quoted-printable decoded, 7bit, 8bit and binary (and an encoding nobody
// knows) as stored.
struct stored_body {
    std::string type;     // the media type, "text/plain" by default
    std::string charset;  // the Content-Type's charset parameter; empty when it names none
    bool attachment = false;  // a file the sender attached (a file name, or disposition "attachment")
    bool headerless = false;  // the message's text, stored without header lines, in CP932
    std::string bytes;
};
std::optional<stored_body> read_stored_body(std::string_view base_path, int part);

// What a viewer shows of a text part that has a header of its own: the
// header lines, a blank line and the body with its transfer encoding
// decoded and, but for HTML, turned into CP932 as the text part is. nullopt
// for a part of another type, a headerless part (the text part is shown as
// it is stored) and a part that cannot be read.
std::optional<std::string> part_text_to_view(std::string_view base_path, int part);

}  // namespace qm
