#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "support/daemon_process.h"
#include "support/test_certificates.h"
#include "support/test_support.h"

namespace qm::test {

// Makes <base>Maildir/ with new/, cur/ and tmp/, given to uid and gid when
// running as root; "" or why not.
std::string make_maildir(const std::string& base, uid_t uid, gid_t gid);
// The message files of a maildir (new/ and cur/), in delivery order; their contents.
std::vector<std::string> maildir_files(const std::string& maildir);
std::vector<std::string> maildir_messages(const std::string& maildir);

// Which certificate the server shows on its TLS port (see test_certificates).
enum class dovecot_certificate { test_ca, self_signed };

// A private Dovecot on 127.0.0.1 for the lifetime of the object: POP3 and POP3S
// on free ports, one user with a plaintext password (so APOP works) and a
// maildir in a directory of its own. As root the mail belongs to "nobody".
class dovecot_server {
public:
    // It also listens on a Dovecot SASL socket for an SMTP server (PLAIN, LOGIN, CRAM-MD5).
    // Given an introspection URL (see oauth2_server) it also takes OAuth 2.0 access
    // tokens (XOAUTH2, OAUTHBEARER), each checked there at every login, whose answer
    // must name the user logging in.
    explicit dovecot_server(dovecot_certificate certificate = dovecot_certificate::test_ca,
                            std::string oauth2_introspection_url = {});

    // Whether it accepts connections on both ports; else failure() says why.
    bool running() const { return process_.running(); }
    const std::string& failure() const { return failure_; }
    static bool installed();  // whether a "dovecot" program is installed at all

    int pop3_port() const { return process_.port(0); }
    int pop3s_port() const { return process_.port(1); }
    std::string host() const { return "127.0.0.1"; }
    std::string user() const { return "alice"; }
    std::string password() const { return "open sesame 42"; }
    // To trust (SSL_CERT_FILE) for the test_ca certificate.
    std::string ca_file() const { return shared_test_certificates().ca_file; }

    // For an SMTP server: the SASL socket, the maildir and the owner its mail must have.
    std::string sasl_socket() const { return directory_ / "sasl-auth"; }
    const std::string& maildir() const { return maildir_; }
    uid_t mail_uid() const { return mail_uid_; }
    gid_t mail_gid() const { return mail_gid_; }

    // Puts a message into new/ as a delivery agent would.
    void deliver(std::string_view message);
    // The messages still in the maildir, in delivery order.
    std::vector<std::string> messages() const { return maildir_messages(maildir_); }
    std::size_t message_count() const { return maildir_files(maildir_).size(); }
    std::string log() const { return process_.log(); }

private:
    std::string prepare(dovecot_certificate certificate);
    std::string configure(const std::vector<int>& ports);

    temp_dir directory_;
    std::string oauth2_url_, maildir_, internal_user_, internal_group_, failure_;
    tls_identity identity_;  // the certificate the server shows
    uid_t mail_uid_ = 0;
    gid_t mail_gid_ = 0;
    unsigned long delivered_ = 0;
    daemon_process process_;  // last: stopped before the directory goes
};

}  // namespace qm::test
