#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include <sys/types.h>

#include "support/dovecot_server.h"

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
// serves the delivered mail over POP3. Everything lives in temporary
// directories of their own; nothing of a system-wide Postfix or Dovecot is
// used. Postfix needs root: as another user the server does not start.
//
// Mail for user() + "@example.com" goes into the Dovecot user's maildir;
// mail for any other address of example.com into a second maildir
// (other_message_count). Mail for other domains is not accepted.
//
//   smtp_server server;
//   ASSERT_TRUE(server.running()) << server.failure();
//   ... send to server.host():server.port(smtp_port::all_mechanisms) ...
//   server.wait_for_delivery(1);
//   ... server.mail_store().messages(), or POP3 from server.mail_store() ...
class smtp_server {
public:
    smtp_server();
    ~smtp_server();  // stops Postfix and Dovecot and removes their directories
    smtp_server(const smtp_server&) = delete;
    smtp_server& operator=(const smtp_server&) = delete;

    // Whether Postfix accepts connections on every port; when not, failure()
    // tells why, with the logs.
    bool running() const { return pid_ > 0; }
    const std::string& failure() const { return failure_; }
    // Whether Postfix and Dovecot are installed at all.
    static bool installed();

    int port(smtp_port which) const;
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

    // Everything Postfix and Dovecot logged so far.
    std::string log() const;

private:
    bool prepare();
    bool write_configuration();
    bool check_queue();
    bool launch();
    void stop();
    bool fail(std::string why);

    std::unique_ptr<dovecot_server> store_;
    std::string directory_;  // ends with "/"
    std::string log_file_;
    std::string output_file_;
    std::string failure_;
    pid_t pid_ = -1;
    int ports_[4] = {};
};

}  // namespace qm::test
