#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace qm {

// The Message-ID of a mail written here, with its angle brackets:
// "<20251207194512.3f9a1c2b7e4d5a60.1@example.jp>" — the time of writing
// (UTC), 64 random bits and a count of the ids this process made, then the
// domain of the sender's address. No two ids are alike: within a process
// the count differs, across processes and machines the random part does.
std::string make_message_id(std::string_view sender_address, std::time_t now);
std::string make_message_id(std::string_view sender_address);  // at the current time

// The domain an id takes from an address: what follows its last "@", when
// that is a domain (letters, digits, "-" and "." between labels) or an
// address literal ("[192.0.2.1]"); else "localhost.invalid", which says
// that the mail named no domain of its own.
std::string message_id_domain(std::string_view address);

}  // namespace qm
