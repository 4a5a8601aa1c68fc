#pragma once

namespace qm {

// The results of every transport and protocol operation. A job ends with
// the first one that is not ok and shows its message. The numbers are the
// program's historical codes.
enum class net_result : int {
    ok = 0,
    bad_host = 4,        // the server name cannot be resolved
    connect_failed = 5,  // refused, timed out, or the TLS handshake failed
    receive_error = 6,
    closed = 7,  // the peer closed the connection
    send_error = 8,
    no_memory = 9,
    file_error = 10,
    cancelled = 11,
    error_reply = 12,  // the server refused a command
    bad_password = 13,
    no_sender = 14,
    tls_not_offered = 15,  // STARTTLS or STLS was chosen and the server does not offer it
    tls_refused = 16,      // the server refused STARTTLS or STLS
    tls_injected = 17,     // bytes came between the answer to STARTTLS or STLS and the handshake
    // OAuth 2.0: no refresh token, or the token endpoint refused it (expired,
    // revoked): only the browser step can help.
    authorization_needed = 18,
    authorization_failed = 19,  // the token endpoint or the browser step failed
    token_refused = 20,         // the mail server refused the access token
    message_too_large = 21,     // a message passed the download limit while it came
};

// The string-table id of the message shown for a result ("サーバ名が無効です."
// for bad_host ...); 0 for ok, which shows nothing.
int result_message_id(net_result code);

}  // namespace qm
