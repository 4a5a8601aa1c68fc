#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/connection.h"
#include "net/job.h"

namespace qm {

// The POP3 dialogue of a receive or check job. Every function returns a
// result code of net/result_codes.h: 0 or the first code that went wrong.
//
// A receive job calls, on a connected link: pop_login, pop_receive (or
// pop_check), then pop_quit and close_gently whatever the results.


// Reads the greeting and logs in: with APOP when `apop` is set and the
// greeting carries a time stamp "<...>", else (and after a refused APOP) with
// USER and PASS. 0, 12 (greeting or USER refused), 13 (PASS refused) or a
// transport code. The copies of the password the login makes (the digest
// input, the PASS line) are overwritten with '*' once used; `password`
// itself stays as it was.
//
// With an `stls_host` (the server name the certificate must carry), the
// plain connection is upgraded first: CAPA, STLS, the handshake, then CAPA
// again. Nothing else is sent before the upgrade: 15 when CAPA does not list
// STLS, 16 when the server refuses it, 17 when bytes follow its answer
// before the handshake, 5 when the handshake or the certificate check fails
// (the reason in link.error_detail()). APOP's time stamp is the one of the
// plain greeting: the server keeps its state across the upgrade.
net_result pop_login(connection& link, thread& job, std::string_view user, std::string& password, bool apop,
                     std::string_view stls_host = {});

// Reads the greeting and logs in with an OAuth 2.0 access token instead of
// a password (SASL, net/bearer_login.h): CAPA (after the STLS upgrade as
// pop_login makes it, with an `stls_host`) names the mechanism, OAUTHBEARER
// before XOAUTH2, and XOAUTH2 when CAPA names neither. `host` and `port`
// are the server as OAUTHBEARER names it. 0, token_refused (the server's
// reason in link.error_detail()), 12 or a transport or upgrade code.
net_result pop_login_bearer(connection& link, thread& job, std::string_view user, const std::string& token,
                            std::string_view host, int port, std::string_view stls_host = {});

// Fetches the messages whose unique ids are not in the UID list into download
// files numbered after the highest one already in the download directory, in
// server order; each is noted as fetched before its download file takes its
// name, so that no interruption makes a later receive fetch it again
// (net/uid_list.h). With `remove` every message is marked for deletion on the
// server (known ones without being fetched), and the downloads are flushed to
// the disk before this returns, as the QUIT that follows is where the server
// deletes; when that flush fails the marks are taken back (RSET). When
// everything succeeded the list is rewritten to hold the ids of every message
// on the server; a receive cut short adds what it fetched to the old list.
// A STAT or UIDL reply without its number is an error reply (12). Files
// downloaded before a failure stay where they are.
//
// A message that passes `size_limit` bytes while it comes (a large one, or
// a RETR that never ends) ends the receive with message_too_large, its
// partial file removed and nothing noted: the caller then closes the
// connection without QUIT, so that the server deletes nothing.
inline constexpr std::uint64_t default_download_limit = 100ull * 1024 * 1024;
net_result pop_receive(connection& link, thread& job, std::string_view work_directory,
                       std::string_view uid_list_path, bool remove, std::uint64_t size_limit = default_download_limit);

// Whether the server holds a message whose id is not in the UID list;
// nothing is downloaded, deleted or written.
net_result pop_check(connection& link, thread& job, std::string_view uid_list_path, bool remove, bool& new_mail);

// Sends QUIT and reads the answer, ignoring the outcome. After a timeout the
// answer is waited for a few seconds only (net/connection.h).
void pop_quit(connection& link, thread& job);

}  // namespace qm
