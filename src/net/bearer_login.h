#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "net/connection.h"
#include "net/result_codes.h"
#include "net/sasl_bearer.h"

namespace qm {

// The SASL exchange of an OAuth 2.0 login, as POP3 (RFC 5034) and SMTP
// (RFC 4954) both run it: "AUTH <mechanism> <first message>" when that
// command fits the protocol's line, else "AUTH <mechanism>", the server's
// empty challenge, and the first message on a line of its own. Success ends
// it; an error challenge (Base64 JSON) is answered as the mechanism wants
// and its text kept in link.error_detail().

struct bearer_protocol {
    std::string_view challenge;       // "+ " (POP3) or "334 " (SMTP)
    std::string_view success;         // "+OK" or "235"
    std::size_t command_with_response_limit;  // the longest AUTH line with a first message, CR LF included
    net_result (*read_reply)(connection& link, thread& job);
};

inline constexpr std::size_t pop3_auth_line_limit = 255;  // RFC 5034 4
// SMTP allows 12288 (RFC 4954 4), but servers are kinder to ordinary lines.
inline constexpr std::size_t smtp_auth_line_limit = 512;

// 0, token_refused (the server said no, with its reason in the detail),
// error_reply (the mechanism itself was refused) or a transport code. The
// first message and its Base64 form are wiped; the trace shows "****".
net_result bearer_login(connection& link, thread& job, const bearer_protocol& protocol, bearer_mechanism mechanism,
                        std::string& first_message);

}  // namespace qm
