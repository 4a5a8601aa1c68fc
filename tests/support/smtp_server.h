#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

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
};

// A private Postfix on 127.0.0.1 for the lifetime of the object, with its own
// Dovecot (dovecot_server with a SASL socket) that checks the passwords and
// serves the delivered mail over POP3. Postfix needs root: as another user the
// server does not start.
//
// Mail for address() goes into the Dovecot user's maildir; mail for any other
// address of domain() into a second maildir (other_message_count). Mail for
// other domains is not accepted.
class smtp_server {
public:
    smtp_server();

    // Whether Postfix accepts connections on every port; when not, failure()
    // tells why, with the logs.
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

    // Waits until the user's maildir holds `count` messages and the other
    // maildir `others`; false when `timeout` passed first.
    bool wait_for_delivery(std::size_t count, std::size_t others = 0,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds(20000)) const;
    std::size_t other_message_count() const;
    std::string log() const;  // everything Postfix and Dovecot logged so far

private:
    std::string prepare();
    std::string configure(const std::vector<int>& ports);

    std::unique_ptr<dovecot_server> store_;
    temp_dir directory_;
    std::string failure_;
    daemon_process process_;  // last: stopped before the directory and the Dovecot go
};

}  // namespace qm::test
