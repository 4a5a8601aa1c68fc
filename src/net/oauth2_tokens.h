#pragma once

#include <string>
#include <string_view>

#include "net/job.h"
#include "net/result_codes.h"

namespace qm {

// The program's registration with a provider's OAuth 2.0 service, as an
// account names it: where the browser asks the user, where tokens are
// fetched, the client id (and secret, which a desktop registration may
// have) and the scopes asked for, blank-separated.
struct oauth2_registration {
    std::string authorize_url, token_url, client_id, client_secret, scope;
    ~oauth2_registration();  // the client secret is wiped
};

// What a token endpoint handed out; wiped when it goes. The refresh token is
// empty when the endpoint kept the old one.
struct oauth2_tokens {
    std::string access_token, refresh_token;
    long expires_in = 0;  // seconds; 0 when not said
    oauth2_tokens() = default;
    oauth2_tokens(const oauth2_tokens&) = delete;
    oauth2_tokens& operator=(const oauth2_tokens&) = delete;
    ~oauth2_tokens();
};

// A new access token for the refresh token. authorization_needed when the
// endpoint refuses the grant (expired or revoked: only the browser step
// helps, and nothing is retried), authorization_failed for any other
// refusal or an answer without a token, or a transport code; `detail` then
// says what the endpoint said.
net_result refresh_access_token(thread& job, const oauth2_registration& registration, std::string_view refresh_token,
                                oauth2_tokens& tokens, std::string& detail);

// The tokens for the code the browser step brought back, proven with the
// PKCE verifier and the redirect address the code was issued for.
net_result redeem_authorization_code(thread& job, const oauth2_registration& registration, std::string_view code,
                                     std::string_view verifier, std::string_view redirect_uri,
                                     oauth2_tokens& tokens, std::string& detail);

// The tokens of an endpoint's answer (RFC 6749 5.1 and 5.2).
net_result read_token_answer(long status, std::string_view body, oauth2_tokens& tokens, std::string& detail);

}  // namespace qm
