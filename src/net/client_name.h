#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The name the client gives itself when it greets an SMTP server (EHLO,
// HELO): the machine's fully qualified domain name when it has one, else
// the address literal of the connection's local end, as RFC 5321 asks.

// Whether the name is a fully qualified domain name a server can look up:
// labels of letters, digits and "-" (not first or last), at least two of
// them, at most 253 characters, a last label that is not all digits, and
// not a name every machine has (localhost, *.localdomain, *.local).
bool is_fully_qualified_name(std::string_view name);

// The machine's fully qualified name: its host name when that is one, else
// the canonical name the resolver gives for it; nullopt when neither is.
std::optional<std::string> machine_domain_name();

// "[192.0.2.1]" or "[IPv6:2001:db8::1]" for the local end of a connected
// socket; empty when it cannot be told.
std::string address_literal_of_socket(int socket);

// The name itself: `domain` when it is a fully qualified name, else the
// literal (which may be empty: then "localhost.invalid").
std::string client_name(const std::optional<std::string>& domain, std::string_view literal);

}  // namespace qm
