#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "net/connection.h"
#include "net/job.h"

namespace qm {

// The SMTP dialogue of a send job. Every function returns a result code of
// net/result_codes.h: 0 or the first code that went wrong.
//
// A send job calls, on a connected link: smtp_start, then (when that
// succeeded) smtp_send_queue, then smtp_quit and close_gently whatever the
// results.

// The login mechanism smtp_start uses, chosen from the AUTH lines of the
// EHLO reply (net/smtp_auth_scan.h).
inline constexpr int auth_none = 0, auth_login = 1, auth_plain = 2, auth_cram_md5 = 3;

// The file is read in chunks of at most this many bytes, each ending at the
// first line feed it holds (the trace shows a dot for each).
inline constexpr std::size_t smtp_data_chunk = 127;
// The file is read, and the stuffed data handed to the connection, through
// buffers of this size, so that a message goes out as fast as the server
// takes it (a message of up to this size leaves in one write with its end
// mark).
inline constexpr std::size_t smtp_file_buffer_size = 64 * 1024;

// The longest address MAIL FROM and RCPT TO can carry: a longer one does
// not fit the command line.
inline constexpr std::size_t smtp_address_limit =
    reply_line_capacity - 1 - std::string_view("MAIL FROM:<>\r\n").size();

// Reads the greeting, then says EHLO with `greeting_name` (when empty: the
// machine's domain name, else the address literal of the connection's local
// end, net/client_name.h) and logs in with the mechanism the server offers:
// CRAM-MD5 on a plain connection, else PLAIN, else LOGIN. Without a user (no
// SMTP AUTH) a refused EHLO is followed by HELO with the same name. 0, 12
// (greeting, HELO or EHLO refused, or no known mechanism offered), 13 (the password was refused, or the
// credentials do not fit a command line: then nothing of the login is sent)
// or a transport code. Every copy of the password the login makes (the
// command line, the encoded token) is overwritten with '*' once sent, and
// no trace text shows it; `password` itself stays as it was, for the caller
// to wipe.
//
// With a `starttls_host` (the server name the certificate must carry), the
// plain connection is upgraded first: EHLO, STARTTLS, the handshake, then
// EHLO again (also without a user), and the login mechanism comes from that
// second reply only. Nothing else is sent before the upgrade: 15 when the
// EHLO reply does not offer STARTTLS, 16 when the server refuses it, 17 when
// bytes follow its answer before the handshake, 5 when the handshake or the
// certificate check fails (the reason in link.error_detail()).
net_result smtp_start(connection& link, thread& job, std::string_view greeting_name, const std::string* user,
               std::string& password, std::string_view starttls_host = {});

// As smtp_start, but logs in with an OAuth 2.0 access token (SASL,
// net/bearer_login.h) for `user`: the mechanism is the one the EHLO reply's
// AUTH line offers, OAUTHBEARER before XOAUTH2. `host` and `port` are the
// server as OAUTHBEARER names it. 0, token_refused (also when neither
// mechanism is offered; the reason in link.error_detail()), 12 or a
// transport or upgrade code.
net_result smtp_start_bearer(connection& link, thread& job, std::string_view greeting_name, std::string_view user,
                             const std::string& token, std::string_view host, int port,
                             std::string_view starttls_host = {});

// Sends every outgoing file "<n>.smt" of the queue directory (the work
// directory, ending with "/") in number order (7.smt before 10.smt) to the
// envelope prepared beside it ("<n>.env": the sender, then the recipients),
// as it is: the client never edits a message (only its line ends are made
// CR LF where they are not, see smtp_send_file). Each file goes, with its
// envelope, once the server accepted its data. The first failure ends the
// run: that file and every later one stay queued. 0 also for an empty
// queue; 10 (a file step, or no envelope), 14 (an envelope without a
// sender), 12 or a transport code.
net_result smtp_send_queue(connection& link, thread& job, std::string_view queue_directory);

// "<word>:<address>" ("MAIL FROM", "RCPT TO") and its reply; RSET on any
// failure. A command that would not fit the command line is not sent (a cut
// address would name someone else): 12 after RSET.
net_result smtp_envelope(connection& link, thread& job, std::string_view word, std::string_view address);

// After a positive answer to DATA: the file's bytes, every line end as CR LF
// (a bare CR or LF becomes one) and a dot that begins a line doubled, then
// CR LF "." CR LF and the server's reply. When the file cannot be read
// or the data cannot be sent whole, the end mark is never sent: the
// connection is closed instead, so that the server drops the partial
// message (10, or the transport code).
net_result smtp_send_file(connection& link, thread& job, std::string_view file_path);

// RSET and QUIT, their replies read and ignored.
void smtp_reset(connection& link, thread& job);
void smtp_quit(connection& link, thread& job);

}  // namespace qm
