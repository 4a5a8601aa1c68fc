#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "support/daemon_process.h"
#include "support/dovecot_server.h"
#include "support/test_support.h"

namespace qm::test {

// The listening ports of the SMTP server, one per way of logging in that a
// client which picks the best offered mechanism can be made to use.
enum class smtp_port {
    all_mechanisms,  // plain SMTP offering PLAIN, LOGIN and CRAM-MD5
    plain_only,      // plain SMTP offering only PLAIN
    login_only,      // plain SMTP offering only LOGIN
    tls,             // SMTP over TLS from the first byte (test CA certificate), all mechanisms
    starttls,        // submission that takes no AUTH and no mail before STARTTLS, all mechanisms after it
};

// A private Postfix on 127.0.0.1 for the lifetime of the object (it needs root),
// with its own Dovecot that checks the passwords and serves the mail over POP3.
// Mail for address() goes to the Dovecot user's maildir, for other addresses of
// domain() to a second maildir, others(); other domains are refused.
class smtp_server {
public:
    // Given an introspection URL, its Dovecot (and so the ports without a
    // mechanism filter) also takes OAuth 2.0 access tokens: see dovecot_server.
    explicit smtp_server(std::string oauth2_introspection_url = {});

    // Whether Postfix accepts connections on every port; else failure() says why.
    bool running() const { return process_.running(); }
    const std::string& failure() const { return failure_; }
    static bool installed();  // whether Postfix and Dovecot are installed at all

    int port(smtp_port which) const { return process_.port(static_cast<std::size_t>(which)); }
    std::string host() const { return "127.0.0.1"; }
    std::string domain() const { return "example.com"; }
    std::string user() const { return store_->user(); }
    std::string password() const { return store_->password(); }
    std::string address() const { return user() + "@" + domain(); }
    std::string ca_file() const { return store_->ca_file(); }
    dovecot_server& mail_store() { return *store_; }

    // Until the user's maildir holds `count` messages and the other one `others`.
    bool wait_for_delivery(std::size_t count, std::size_t others = 0,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds(20000)) const;
    std::string log() const;  // Postfix's and Dovecot's
    // The messages for other addresses of domain(), each with a Delivered-To field naming its recipient.
    std::vector<std::string> others() const { return maildir_messages(directory_ / "others/Maildir/"); }

private:
    std::string prepare();
    std::string configure(const std::vector<int>& ports);

    std::unique_ptr<dovecot_server> store_;
    temp_dir directory_;
    std::string oauth2_url_, failure_;
    daemon_process process_;  // last: stopped before the directory and the Dovecot go
};

}  // namespace qm::test
