#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The text of a draft as outgoing mail is made from it. The header that is
// sent and the envelope it is sent to are read from the same lines, so that
// every recipient the header shows is one the mail goes to.

// The lines of draft text as read in text mode (CR LF already LF), without
// their line ends. A line ends at a line feed, at a carriage return before
// one, or at a carriage return on its own, which would otherwise reach the
// wire as a bare CR; text after the last line end is a line too.
std::vector<std::string_view> draft_lines(std::string_view text);

// One field of a draft's header with its continuation lines joined: the
// name before the colon (blanks before the colon dropped) and the value after
// it, line ends removed and the blanks that began each continuation kept.
struct header_field {
    std::string name;
    std::string value;
};

// Every field of a draft's header text, whole, however long its lines. Blank
// lines are skipped, as the writer leaves them out of the wire form; a line
// that is neither a field nor a continuation of one is no field, and the
// continuation lines after it belong to none.
std::vector<header_field> draft_header_fields(std::string_view text);

// The value of the first field named exactly `name` (ASCII case ignored),
// or nullptr.
const header_field* find_field(const std::vector<header_field>& fields, std::string_view name);

// The envelope of a draft: the first address of From as the sender, every
// address of To, Cc and Bcc in that order as the recipients.
struct draft_envelope {
    std::string sender;
    std::vector<std::string> recipients;
};

enum class envelope_fault {
    none,
    no_sender,         // From names no mailbox
    unusable_address,  // a mailbox names no address SMTP can take (see `unusable`)
    no_recipient,      // To, Cc and Bcc name nobody
};

struct envelope_reading {
    envelope_fault fault = envelope_fault::none;
    std::string unusable;  // the mailbox as written, for unusable_address
    draft_envelope envelope;
};

// The envelope from the header fields. A mailbox whose address is longer
// than `address_limit` bytes counts as unusable: cut short, it would name
// someone else.
envelope_reading read_draft_envelope(const std::vector<header_field>& fields, std::size_t address_limit);

}  // namespace qm
