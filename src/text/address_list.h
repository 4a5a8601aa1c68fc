#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The mailboxes of an address field (From, To, Cc, Bcc ...) as the envelope
// of outgoing mail takes them, from the field's whole value with its folds
// already joined (CP932).
//
// Commas separate mailboxes, except inside a quoted string, a comment or
// angle brackets. A group ("Team: a@x.example, b@y.example;") gives its
// members, an empty one ("undisclosed-recipients:;") none. Items that hold
// nothing but blanks are skipped. Whatever else the user wrote is a mailbox:
// when it names no address that mail can be sent to, its address is empty,
// so that the caller can say which one it was instead of leaving it out.

struct listed_mailbox {
    // The mailbox as written, without the blanks around it.
    std::string written;
    // The text in angle brackets when there are any, else the mailbox
    // without its comments; empty when that is no envelope address.
    std::string address;
};

std::vector<listed_mailbox> list_mailboxes(std::string_view field_value);

// An address an SMTP command can carry: printable ASCII, a local part (a dot
// atom or a quoted string) and a domain around its last "@".
bool is_envelope_address(std::string_view address);

}  // namespace qm
