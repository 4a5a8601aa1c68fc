#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One part of a received message as the MIME reader found it.
struct part_source {
    std::vector<std::string> header;  // its header lines, Content- fields unfolded
    bool has_blank_line = false;      // a blank line ended them
    std::string_view body;
    // A part of a multipart: the line end before the next delimiter line
    // belongs to the delimiter, not to the part (RFC 2046).
    bool in_multipart = false;
};

// What a part's header says about its place in the message.
struct part_kind {
    std::string type;  // the media type, "text/plain" by default; empty when unreadable
    // It has a file name, or its disposition is "attachment": a file the
    // sender attached, to be given back as it was sent.
    bool attachment = false;
};
part_kind kind_of(const part_source& part);

// How a part is kept in its part file.
enum class part_role {
    // The text of the message: a blank line and the body in CP932, no header
    // lines (what the preview and the viewer show).
    text,
    // Another text to read, not to save (the HTML of an alternative ...): its
    // header lines without a 7bit or quoted-printable transfer encoding, a
    // blank line and the body with quoted-printable decoded.
    readable,
    // An attachment, and any part that is not text: its header lines with
    // their names decoded, a blank line and the body as it came, in its
    // transfer encoding, so that restoring it gives back the sent bytes.
    kept,
};

// The content of the part file for the part in that role. A part whose type,
// charset or transfer encoding cannot be read is kept as it came.
std::string stored_part(const part_source& part, part_role role);

// What stored_part gives for the part as the message's text, but in UTF-8
// with every character as sent where the CP932 file has "？": the same
// blank line, lines and blanks, so that the two agree character for
// character.
std::string stored_text_unicode(const part_source& part);

}  // namespace qm
