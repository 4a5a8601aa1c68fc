#pragma once

#include <string_view>

namespace qm {

// The AUTH capability scan of the SMTP client, applied by
// connection::read_smtp_reply to each line of an EHLO reply: it sets
// `mechanism` to the login mechanism the client will use (0 none).
void scan_auth_line(std::string_view reply_line, bool ssl, int& mechanism);

// The mechanism names of an "AUTH <names>" line of an EHLO reply
// ("250-AUTH PLAIN XOAUTH2" gives "PLAIN XOAUTH2"); empty for other lines.
std::string_view auth_line_names(std::string_view reply_line);

}  // namespace qm
