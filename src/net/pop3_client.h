#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/connection.h"
#include "net/job.h"

namespace qm {

// The POP3 dialogue of a receive or check job. Every function returns a
// result code of net/result_codes.h: 0 or the first code that went wrong.
//
// A receive job calls, on a connected link: pop_login, pop_ask_capabilities,
// pop_receive (or pop_check), then pop_quit and close_gently whatever the
// results.

// What the server's CAPA answer offered, as far as a receive cares.
struct pop_capabilities {
    bool asked = false;       // CAPA was answered (or refused: nothing offered)
    bool pipelining = false;  // "PIPELINING": commands may go ahead of their answers
};


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
// plain greeting: the server keeps its state across the upgrade. What the
// CAPA after the upgrade offered goes to `offered`, when given.
net_result pop_login(connection& link, thread& job, std::string_view user, std::string& password, bool apop,
                     std::string_view stls_host = {}, pop_capabilities* offered = nullptr);

// Reads the greeting and logs in with an OAuth 2.0 access token instead of
// a password (SASL, net/bearer_login.h): CAPA (after the STLS upgrade as
// pop_login makes it, with an `stls_host`) names the mechanism, OAUTHBEARER
// before XOAUTH2, and XOAUTH2 when CAPA names neither. `host` and `port`
// are the server as OAUTHBEARER names it. 0, token_refused (the server's
// reason in link.error_detail()), 12 or a transport or upgrade code. The
// CAPA answer goes to `offered`, when given.
net_result pop_login_bearer(connection& link, thread& job, std::string_view user, const std::string& token,
                            std::string_view host, int port, std::string_view stls_host = {},
                            pop_capabilities* offered = nullptr);

// After the login: CAPA, unless the login asked it already. A server that
// refuses it offers nothing. 0 or a transport code.
net_result pop_ask_capabilities(connection& link, thread& job, pop_capabilities& offered);

inline constexpr std::uint64_t default_download_limit = 100ull * 1024 * 1024;

struct pop_receive_options {
    bool remove = false;      // delete every message on the server
    bool pipelining = false;  // the server offers PIPELINING (pop_capabilities)
    std::uint64_t size_limit = default_download_limit;
    // Called on the job's thread each time a download has taken its name
    // (so that filing can take it while the receive goes on).
    std::function<void()> downloaded;
};

// Fetches the messages whose unique ids are not in the UID list into download
// files numbered after the highest one already in the download directory, in
// server order. The ids come from one UIDL listing; a listing that does not
// name every message of the STAT count exactly once, or holds a line not of
// the form "<number> <id>", is an error reply (12), as is a STAT reply
// without its count. Each download is noted as fetched before its download
// file takes its name (net/uid_list.h), so that no interruption makes a
// later receive fetch it again.
//
// To a server that offers PIPELINING the commands go ahead of their answers
// (a bounded number of them), otherwise one at a time. With `remove`
// every message is marked for deletion on the server: known ones without
// being fetched, a fetched one only once its download file has its name.
// The downloads are flushed to the disk before this returns, as the QUIT
// that follows is where the server deletes; when that flush fails the marks
// are taken back (RSET). When everything succeeded the list is rewritten to
// hold the ids of every message on the server; a receive cut short adds
// what it fetched to the old list. Files downloaded before a failure stay
// where they are.
//
// A failure while answers are still due (commands sent ahead, a message
// half read) closes the connection here, without QUIT: the server then
// deletes nothing of this session (pop_quit sends nothing more), and the
// next round deletes what was fetched without fetching it again. So does a
// message that passes `size_limit` bytes while it comes (a large one, or a
// RETR that never ends): message_too_large, its partial file removed and
// nothing noted.
net_result pop_receive(connection& link, thread& job, std::string_view work_directory,
                       std::string_view uid_list_path, const pop_receive_options& options);

// Whether the server holds a message whose id is not in the UID list (one
// UIDL listing, read to its end); nothing is downloaded, deleted or written.
net_result pop_check(connection& link, thread& job, std::string_view uid_list_path, bool remove, bool& new_mail);

// Sends QUIT and reads the answer, ignoring the outcome. After a timeout the
// answer is waited for a few seconds only (net/connection.h).
void pop_quit(connection& link, thread& job);

}  // namespace qm
