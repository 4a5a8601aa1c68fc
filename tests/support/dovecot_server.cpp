#include "support/dovecot_server.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/test_certificates.h"

namespace fs = std::filesystem;

namespace qm::test {

namespace {

std::string dovecot_program() { return find_program({"/usr/sbin/dovecot", "/usr/local/sbin/dovecot"}); }

// Maildir names begin with the delivery time; a fixed base plus a counter
// keeps them unique and in delivery order, which is the server's order.
std::string maildir_name(unsigned long sequence) {
    char name[96];
    std::snprintf(name, sizeof name, "%lu.M%06luP%dQ%lu.qmtest", 1700000000UL + sequence, sequence % 1000000UL,
                  static_cast<int>(::getpid()), sequence);
    return name;
}

}  // namespace

bool dovecot_server::installed() { return !dovecot_program().empty(); }

dovecot_server::dovecot_server(dovecot_certificate certificate, bool sasl_listener)
    : maildir_(directory_ / "home/Maildir/"),
      sasl_listener_(sasl_listener),
      process_(directory_ / "dovecot.out", directory_ / "dovecot.log") {
    std::string conf = directory_ / "dovecot.conf";
    std::string why = prepare(certificate);
    if (why.empty())
        why = process_.start(
            2,
            [&](const std::vector<int>& ports) {
                write_bytes(conf, configuration(ports));
                return std::string();
            },
            {dovecot_program(), "-F", "-c", conf});
    if (!why.empty()) failure_ = start_failure("Dovecot", why, log());
}

std::string dovecot_server::ca_file() const { return shared_test_certificates().ca_file; }

std::string dovecot_server::prepare(dovecot_certificate certificate) {
    if (!installed()) return "the dovecot program is not installed (Debian packages dovecot-core, dovecot-pop3d)";
    // Dovecot refuses to give mail to uid 0, so under root the mail and the
    // server's own processes belong to "nobody"; they must reach the directory.
    bool root = ::geteuid() == 0;
    const passwd* owner = root ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
    const group* owner_group = owner ? ::getgrgid(owner->pw_gid) : nullptr;
    if (!owner || !owner_group) return root ? "no user \"nobody\" to own the mail" : "the user has no name";
    mail_uid_ = owner->pw_uid;
    mail_gid_ = owner->pw_gid;
    internal_user_ = owner->pw_name;
    internal_group_ = owner_group->gr_name;
    if (root) ::chmod(directory_.path().c_str(), 0755);

    std::error_code ec;
    for (const std::string& path : {directory_ / "run", directory_ / "state"})
        if (fs::create_directories(path, ec); ec) return "cannot make " + path + ": " + ec.message();
    if (std::string why = make_maildir(directory_ / "home/", mail_uid_, mail_gid_); !why.empty()) return why;
    try {
        const test_certificates& certificates = shared_test_certificates();
        const tls_identity& identity =
            certificate == dovecot_certificate::test_ca ? certificates.localhost : certificates.self_signed;
        certificate_file_ = identity.certificate_file;
        key_file_ = identity.key_file;
    } catch (const std::exception& error) {
        return std::string("no test certificates: ") + error.what();
    }
    write_bytes(directory_ / "passwd", user() + ":{PLAIN}" + password() + "\n");
    return "";
}

std::string dovecot_server::configuration(const std::vector<int>& ports) const {
    const std::string& directory = directory_.path();
    std::ostringstream conf;
    conf << "base_dir = " << directory << "run\n"
         << "state_dir = " << directory << "state\n"
         << "log_path = " << directory << "dovecot.log\n"
         << "protocols = pop3\nlisten = 127.0.0.1\n"
         << "ssl = yes\nssl_cert = <" << certificate_file_ << "\nssl_key = <" << key_file_ << "\n"
         << "disable_plaintext_auth = no\n"
         << "auth_mechanisms = plain apop" << (sasl_listener_ ? " login cram-md5" : "") << "\n"
         << "auth_verbose = yes\n"
         // Refused passwords are answered without the usual two seconds' delay.
         << "auth_failure_delay = 0\n"
         << "default_internal_user = " << internal_user_ << "\n"
         << "default_internal_group = " << internal_group_ << "\n"
         << "default_login_user = " << internal_user_ << "\n"
         << "first_valid_uid = 1\n"
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " << directory << "passwd\n}\n"
         << "userdb {\n  driver = static\n  args = uid=" << mail_uid_ << " gid=" << mail_gid_ << " home=" << directory
         << "home\n}\n"
         << "mail_location = maildir:" << maildir_ << "\n"
         << "service pop3-login {\n  chroot =\n"
         << "  inet_listener pop3 {\n    port = " << ports[0] << "\n  }\n"
         << "  inet_listener pop3s {\n    port = " << ports[1] << "\n    ssl = yes\n  }\n}\n"
         // The SMTP server's processes run as another user than Dovecot's.
         << (sasl_listener_ ? "service auth {\n  unix_listener " + sasl_socket() + " {\n    mode = 0666\n  }\n}\n"
                            : std::string())
         // Without the penalty socket a refused password does not slow down
         // every later login from the same address.
         << "service anvil {\n  chroot =\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
    return conf.str();
}

std::string dovecot_server::deliver(std::string_view message) {
    std::string name = maildir_name(++delivered_);
    std::string temporary = maildir_ + "tmp/" + name;
    write_bytes(temporary, message);
    if (::geteuid() == 0 && ::chown(temporary.c_str(), mail_uid_, mail_gid_) != 0)
        throw std::runtime_error("cannot chown " + temporary);
    if (::rename(temporary.c_str(), (maildir_ + "new/" + name).c_str()) != 0)
        throw std::runtime_error("cannot deliver " + name);
    return name;
}

std::string make_maildir(const std::string& base, uid_t uid, gid_t gid) {
    for (const char* sub : {"", "Maildir/", "Maildir/new", "Maildir/cur", "Maildir/tmp"}) {
        std::string path = base + sub;
        std::error_code ec;
        if (fs::create_directories(path, ec); ec) return "cannot make " + path + ": " + ec.message();
        if (::geteuid() == 0 && ::chown(path.c_str(), uid, gid) != 0) return "cannot chown " + path;
    }
    return "";
}

std::vector<std::string> maildir_files(const std::string& maildir) {
    std::vector<std::string> files;
    for (const char* sub : {"new/", "cur/"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(maildir + sub, ec)) files.push_back(entry.path().string());
    }
    // The names begin with the delivery's sequence number.
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        return std::strtoul(fs::path(a).filename().c_str(), nullptr, 10) <
               std::strtoul(fs::path(b).filename().c_str(), nullptr, 10);
    });
    return files;
}

std::vector<std::string> maildir_messages(const std::string& maildir) {
    std::vector<std::string> contents;
    for (const std::string& file : maildir_files(maildir)) contents.push_back(read_bytes(file));
    return contents;
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    for (auto deadline = std::chrono::steady_clock::now() + timeout; !done();) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace qm::test
