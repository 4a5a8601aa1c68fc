#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace qm::test {

// Which certificate the server shows on its TLS port.
enum class dovecot_certificate {
    test_ca,      // signed by the test CA (shared_test_certificates) for localhost and 127.0.0.1
    self_signed,  // a certificate of its own, signed by nobody the client trusts
};

// What the server offers besides POP3 and POP3S.
struct dovecot_options {
    dovecot_certificate certificate = dovecot_certificate::test_ca;
    // An authentication socket for an SMTP server (Dovecot SASL, as Postfix
    // speaks it) at sasl_socket(), offering LOGIN and CRAM-MD5 besides PLAIN.
    bool sasl_listener = false;
};

// A private Dovecot on 127.0.0.1 for the lifetime of the object: POP3 and
// POP3 over TLS on free ports, one user with a plaintext password (so APOP
// works) and a maildir, all in a temporary directory of its own. It works as
// root (the mail then belongs to "nobody", as Dovecot refuses uid 0) and as an
// ordinary user. Nothing of a system-wide Dovecot is used.
//
//   dovecot_server server;
//   ASSERT_TRUE(server.running()) << server.failure();
//   server.deliver("Subject: hello\r\n\r\nbody\r\n");
//   ... receive from 127.0.0.1:server.pop3_port() as server.user() ...
class dovecot_server {
public:
    explicit dovecot_server(dovecot_certificate certificate = dovecot_certificate::test_ca);
    explicit dovecot_server(const dovecot_options& options);
    ~dovecot_server();  // stops the server and removes its directory
    dovecot_server(const dovecot_server&) = delete;
    dovecot_server& operator=(const dovecot_server&) = delete;

    // Whether the server accepts connections on both ports; when not, failure()
    // tells why, with the server's log.
    bool running() const { return pid_ > 0; }
    const std::string& failure() const { return failure_; }
    // Whether a "dovecot" program is installed at all.
    static bool installed();

    int pop3_port() const { return pop3_port_; }
    int pop3s_port() const { return pop3s_port_; }
    std::string host() const { return "127.0.0.1"; }
    std::string user() const { return "alice"; }
    std::string password() const { return "open sesame 42"; }
    // The CA certificate to trust (SSL_CERT_FILE) for the test_ca certificate.
    std::string ca_file() const;

    // The SASL socket (with sasl_listener), the maildir (ending with "/") and
    // the owner its mail must have, for a delivery agent of an SMTP server.
    std::string sasl_socket() const { return directory_ + "sasl-auth"; }
    const std::string& maildir() const { return maildir_; }
    uid_t mail_uid() const { return mail_uid_; }
    gid_t mail_gid() const { return mail_gid_; }

    // Puts a message into the maildir's new/ under a name that sorts after
    // every earlier one, as a delivery agent would; the file name.
    std::string deliver(std::string_view message);
    // The messages still in the maildir (new/ and cur/), in delivery order.
    std::vector<std::string> messages() const;
    std::size_t message_count() const { return message_files().size(); }

    // Everything the server logged so far.
    std::string log() const;

private:
    bool prepare(dovecot_certificate certificate);
    bool write_configuration();
    bool launch();
    void stop();
    bool fail(std::string why);
    std::vector<std::string> message_files() const;

    std::string directory_;  // ends with "/"
    std::string maildir_;    // ends with "/"
    std::string log_file_;
    std::string output_file_;
    std::string certificate_file_;
    std::string key_file_;
    std::string failure_;
    pid_t pid_ = -1;
    int pop3_port_ = 0;
    int pop3s_port_ = 0;
    uid_t mail_uid_ = 0;
    gid_t mail_gid_ = 0;
    std::string internal_user_;
    std::string internal_group_;
    unsigned long delivered_ = 0;
    bool sasl_listener_ = false;
};

}  // namespace qm::test
