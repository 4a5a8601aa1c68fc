#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "net/mail_jobs.h"
#include "net/oauth2_tokens.h"

namespace qm {

// The browser step of OAuth 2.0 for a desktop program (RFC 8252): the user
// signs in in the system browser, which the provider then sends to
// http://127.0.0.1:<port>/ with a code; a listener of this program on that
// port takes the code, and the code (with the PKCE verifier, RFC 7636)
// buys the tokens.
//
// The owner calls prepare() (the listener and the address to open), opens
// the address in the browser, and runs the job; it finishes with the tokens
// in `tokens`.

// How long the listener waits for the browser at most.
inline constexpr std::chrono::minutes browser_wait_limit{10};
// How long one connection to the listener may take to send its request.
inline constexpr std::chrono::seconds redirect_read_limit{5};
inline constexpr std::size_t redirect_request_limit = 16 * 1024;

// The address the browser opens: the authorization endpoint with the
// request's parameters (response_type=code, client_id, redirect_uri, scope,
// state, code_challenge, code_challenge_method=S256) appended.
std::string authorization_address(const oauth2_registration& registration, std::string_view redirect_uri,
                                  std::string_view state, std::string_view challenge);

// What one request to the listener carries: the query of its request line
// "GET /?code=...&state=... HTTP/1.1", percent-decoded ('+' a blank).
struct redirect_query {
    bool is_request = false;  // a GET line was read
    std::string code, state, error, error_description;
    ~redirect_query();
};
redirect_query read_redirect_query(std::string_view request_head);

class thread_oauth2_login : public mail_job {
public:
    ~thread_oauth2_login() override;

    oauth2_registration registration;
    oauth2_tokens tokens;  // the result, once the job finished with ok

    // Opens the listener on 127.0.0.1 (a free port) and makes the request;
    // false when no listener could be opened or no random state made.
    bool prepare();
    const std::string& address() const { return address_; }

protected:
    // Waits for the one request that carries the request's state: it is
    // answered with a page that says the window may be closed, and the
    // listener is closed at once, so that no second request reaches it. A
    // request without that state (another page, a stale or forged redirect)
    // is answered with an error page and waited past. Then the code is
    // redeemed. authorization_failed when the provider sent an error (the
    // user refused) or the wait ran out; cancelled when the owner cancelled.
    void run() override;

private:
    net_result talk();
    net_result wait_for_code(std::string& code);
    void close_listener();

    int listener_ = -1;
    std::string verifier_, state_, redirect_uri_, address_;
};

// Opens the address in the user's browser: the program $BROWSER names (its
// first entry when it is a colon-separated list), else xdg-open.
bool open_in_browser(std::string_view address);

}  // namespace qm
