#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/job.h"
#include "net/result_codes.h"

namespace qm {

// One HTTPS POST of a form (application/x-www-form-urlencoded), as a token
// endpoint takes it, made with libcurl on the job's worker thread. TLS is
// verified against the authorities the mail connections trust: the system's
// store, or the file and directory that SSL_CERT_FILE and SSL_CERT_DIR name.
// Only https addresses are used: a form may carry a refresh token or a
// client secret. A cancel of the job ends the request within a few
// milliseconds.

// The longest answer read: a token answer is a few kilobytes.
inline constexpr std::size_t http_answer_limit = 1 << 20;
// The whole request, connection and TLS included, at most this long.
inline constexpr long http_timeout_seconds = 60;

using form_fields = std::vector<std::pair<std::string_view, std::string_view>>;

struct http_answer {
    long status = 0;   // the HTTP status; 0 when no answer came
    std::string body;  // at most http_answer_limit bytes
    ~http_answer();    // the body may hold tokens: wiped
};

// "a=1&b=x%20y": each name and value percent-encoded (unreserved characters
// as they are).
std::string form_body(const form_fields& fields);

// ok with any HTTP status (the caller reads it); connect_failed (with the
// reason in `detail`: no https address, name, TLS or certificate failure,
// timeout), receive_error for an answer over the limit, cancelled.
net_result http_post_form(thread& job, std::string_view url, const form_fields& fields, http_answer& answer,
                          std::string& detail);

}  // namespace qm
