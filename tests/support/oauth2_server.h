#pragma once

#include <string>
#include <vector>

#include "support/daemon_process.h"
#include "support/test_support.h"

namespace qm::test {

// A local OAuth 2.0 authorization server (oauth2_server.py) on 127.0.0.1 for the
// lifetime of the object: /authorize and /token over HTTPS with the test CA's
// certificate, checking PKCE, state and the loopback redirect address, and an
// introspection endpoint over plain HTTP for Dovecot.
class oauth2_server {
public:
    struct options {
        bool rotate = false;              // a refresh also replaces the refresh token, revoking the old one
        bool long_access_tokens = false;  // access tokens of some 1600 characters, as some providers issue
    };
    oauth2_server();
    explicit oauth2_server(options given);

    // Whether it accepts connections on both ports; else failure() says why.
    bool running() const { return process_.running(); }
    const std::string& failure() const { return failure_; }
    static bool installed();  // whether python3 is there to run it

    std::string authorize_url() const { return "https://127.0.0.1:" + std::to_string(process_.port(0)) + "/authorize"; }
    std::string token_url() const { return "https://127.0.0.1:" + std::to_string(process_.port(0)) + "/token"; }
    std::string introspection_url() const { return plain_url("/introspect"); }
    std::string ca_file() const;  // the test CA, to trust through SSL_CERT_FILE

    // From now on every refresh token given out so far is refused (invalid_grant),
    // every access token so far inactive.
    void revoke_refresh_tokens() { control("/control/revoke-refresh", true); }
    void revoke_access_tokens() { control("/control/revoke-access", true); }
    // One line per request handled, e.g. "authorize ok", "authorize bad_redirect_uri",
    // "token code bad_verifier", "token refresh invalid_grant", "introspect active".
    std::vector<std::string> events() const;
    std::string log() const { return process_.log(); }

private:
    std::string plain_url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(process_.port(1)) + path;
    }
    std::string control(const std::string& path, bool post) const;

    temp_dir directory_;
    std::string failure_;
    daemon_process process_;  // last: stopped before the directory goes
};

// The scripted browser to name in $BROWSER (see scripted_browser.py for what
// QUILLMERE_TEST_BROWSER and QUILLMERE_TEST_BROWSER_LOG make it do).
std::string scripted_browser();

}  // namespace qm::test
