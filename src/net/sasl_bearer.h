#pragma once

#include <string>
#include <string_view>

namespace qm {

// The two SASL mechanisms that log in with an OAuth 2.0 access token:
// Google's and Microsoft's XOAUTH2, and OAUTHBEARER (RFC 7628).
enum class bearer_mechanism { none, xoauth2, oauthbearer };

// The mechanism to use among the names a server offers (the SASL line of a
// POP3 CAPA answer, the AUTH line of an SMTP EHLO reply, blank-separated):
// OAUTHBEARER, the standard one, before XOAUTH2; none when neither is named.
bearer_mechanism choose_bearer_mechanism(std::string_view offered_names);
std::string_view bearer_mechanism_name(bearer_mechanism mechanism);

// The client's first message, before Base64:
//   XOAUTH2:     "user=" user ^A "auth=Bearer " token ^A ^A
//   OAUTHBEARER: "n,a=" user "," ^A "host=" host ^A "port=" port ^A
//                "auth=Bearer " token ^A ^A   (',' and '=' in the user escaped)
std::string bearer_first_message(bearer_mechanism mechanism, std::string_view user, std::string_view host, int port,
                                 std::string_view token);

// What the client answers to a server's error challenge before the server
// ends the exchange: ^A for OAUTHBEARER (RFC 7628 3.2.3), an empty line for
// XOAUTH2 (Base64 of it, as the line is sent).
std::string_view bearer_error_answer(bearer_mechanism mechanism);

// A server's error challenge (Base64 of a JSON object such as
// {"status":"invalid_token","scope":"mail","schemes":"bearer"}) as a short
// text for the user: "status invalid_token, scope mail". The decoded text as
// it is when it is no JSON object, cut to a line.
std::string bearer_error_text(std::string_view base64_challenge);

}  // namespace qm
