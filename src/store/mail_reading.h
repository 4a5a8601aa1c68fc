#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class open_directory;

// What a reader sees of a mail, in UTF-8, for the preview, the viewer's
// copy, the quotes of a reply and a forward, the search and
// `quillmere-cli show`. The store's files are not changed for it: what CP932
// could not hold is decoded again from the message as it came ("raw"), and
// HTML-only mail is rendered to text when it is shown.

// The preview shows at most this many bytes of a message's text, and of
// each value of its header block (a field folded over thousands of lines,
// a list of thousands of attachments) at most preview_value_limit; each
// cut is followed by cut_mark. Its lines hold at most preview_line_limit
// bytes: a longer one is shown in pieces, as Qt lays out a line whole
// (seconds for a line of megabytes, minutes for one without blanks).
inline constexpr std::size_t preview_limit = 65534;
inline constexpr std::size_t preview_value_limit = 2048;
inline constexpr std::size_t preview_line_limit = 4096;

// The raw message's header is read up to its blank line, at most this much.
inline constexpr std::size_t raw_header_limit = 262144;

// The text of a message. Its first text/plain part, unless that holds
// nothing but blanks (a text/html-only message stores an empty one): then
// the rendition of its first text/html part that is no attachment. Where the
// stored text lost characters ("？") and the raw message gives them back,
// they are shown as sent.
struct readable_text {
    std::string utf8;
    int part = -1;      // the part it comes from; -1 when there is none
    bool html = false;  // a rendition of HTML: the message has no text of its own
};
readable_text message_readable_text(std::string_view message_dir);

// Whether the message has a text to read: a text/plain part, or an HTML
// part that is no attachment.
bool has_readable_text(std::string_view message_dir);

// The message's header as it came, each field decoded into UTF-8 with every
// character as sent. Empty when the message has no raw copy (a draft).
class sent_header {
public:
    sent_header() = default;
    // From the "raw" file of the message directory (ending with "/").
    static sent_header of_message(std::string_view message_dir);
    // From "<name>/raw" of an open folder.
    static sent_header in_folder(const open_directory& folder, std::string_view message_dir_name);
    // From raw header text as it came (CR LF or LF line ends).
    explicit sent_header(std::string_view raw);

    // What to show for a stored value of the field (the first field of that
    // name, ASCII case ignored): its Unicode form where the stored CP932 text
    // lost characters and this header agrees with it, else the stored text.
    // With `cut`, the stored value may be a beginning of the field's value.
    std::string shown(std::string_view field, std::string_view stored_cp932, bool cut = false) const;
    // The same for a piece of the stored value (a display name within From).
    std::string shown_piece(std::string_view field, std::string_view stored_cp932, std::size_t start,
                            std::size_t length) const;
    // The field's value in UTF-8; nullopt when there is none.
    std::optional<std::string> value(std::string_view field) const;

private:
    std::vector<std::pair<std::string, std::string>> fields_;  // name, value as it came
};

// The parts a reader counts as the mail's attachments: every part the
// attachment list shows but the one shown as the text, and the HTML that
// stands beside a text as its other form.
std::vector<int> attachment_parts(std::string_view message_dir, const readable_text& text);
std::vector<int> attachment_parts(std::string_view message_dir);

// The header block above the text: the sender with name and address, the
// recipients, the date in local time, the subject and the attachments with
// their sizes, one "label: value" line each (UTF-8, controls made visible).
struct reading_line {
    std::string label;
    std::string value;
};
std::vector<reading_line> reading_header(std::string_view message_dir, const readable_text& text);

// "12 KB": a part's size as the header block shows it.
std::string reading_size(std::int64_t bytes);

// The whole of what a reader sees of a message: the header block, an empty
// line, and the text, with control characters made visible.
std::string reading_document(std::string_view message_dir);

// The same as the preview shows it: cut and broken into lines as
// preview_limit says. The store's files stay as they are; the viewer's copy
// and `quillmere-cli show` give everything.
std::string preview_document(std::string_view message_dir);

// What stands where a shown text was cut: "…(+4.9 MB)", how much more there is.
std::string cut_mark(std::size_t bytes_left_out);

// The text (UTF-8, else CP932) with every line longer than `limit` bytes
// shown in pieces of at most that many: each ends after its last blank
// where its second half has one, else at a character's end. For showing
// only; the text itself keeps its lines.
std::string in_short_lines(std::string_view text, std::size_t limit, bool utf8);

// The viewer's copy of a message: the header lines that `prefixes` name
// (every line that starts with one, compared with case, with its
// continuation lines; nullptr: every line), then unless `header_only` an
// empty line and the message's text part. In CP932 and byte for byte as
// stored when that shows everything; else in UTF-8 (`utf8`), with the
// fields and the text as sent, or with the rendition of the HTML of an
// HTML-only message. `found` is false when there is no text to show.
struct reading_copy {
    std::string text;  // line feeds for line ends
    bool utf8 = false;
    bool found = false;
};
reading_copy reading_copy_of(std::string_view message_dir, const std::vector<std::string>* prefixes,
                             bool header_only = false);

// The message's text for a reply's quote or a forward, in CP932: every
// character CP932 lacks becomes "？", and `lost` names each of them
// ("U+1F389"), so that the user can be told.
struct text_for_writing {
    std::string cp932;
    std::vector<std::string> lost;
    bool found = false;  // the message has a text (or HTML) at all
};
text_for_writing message_text_for_writing(std::string_view message_dir);

// The characters of a UTF-8 text that CP932 lacks, each named once by its
// code point ("U+1F389"), in the order they first stand.
std::vector<std::string> characters_cp932_lacks(std::string_view utf8);

}  // namespace qm
