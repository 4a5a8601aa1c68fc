#include "support/dovecot_server.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/test_certificates.h"

namespace fs = std::filesystem;

namespace qm::test {

namespace {

std::string dovecot_program() { return find_program({"/usr/sbin/dovecot", "/usr/local/sbin/dovecot"}); }

// Maildir names begin with the delivery time; a fixed base plus a counter
// keeps them unique and in delivery order, which is the server's order.
std::string maildir_name(unsigned long sequence) {
    return std::to_string(1700000000UL + sequence) + ".M" + std::to_string(sequence) + "P" + std::to_string(::getpid()) +
           ".qmtest";
}

}  // namespace

bool dovecot_server::installed() { return !dovecot_program().empty(); }

dovecot_server::dovecot_server(dovecot_certificate certificate, std::string oauth2_introspection_url)
    : oauth2_url_(std::move(oauth2_introspection_url)),
      maildir_(directory_ / "home/Maildir/"),
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
    const test_certificates& certificates = shared_test_certificates();
    const tls_identity& identity =
        certificate == dovecot_certificate::test_ca ? certificates.localhost : certificates.self_signed;
    certificate_file_ = identity.certificate_file;
    key_file_ = identity.key_file;
    write_bytes(directory_ / "passwd", user() + ":{PLAIN}" + password() + "\n");
    if (!oauth2_url_.empty()) {
        write_bytes(directory_ / "oauth2.conf", filled_template("dovecot-oauth2.conf", {{"DIR", directory_.path()}}));
        write_bytes(directory_ / "oauth2.conf.ext", filled_template("dovecot-oauth2.conf.ext", {{"URL", oauth2_url_}}));
    }
    return "";
}

std::string dovecot_server::configuration(const std::vector<int>& ports) const {
    return filled_template("dovecot.conf", {{"DIR", directory_.path()}, {"CERT", certificate_file_}, {"KEY", key_file_},
                                            {"USER", internal_user_}, {"GROUP", internal_group_},
                                            {"UID", std::to_string(mail_uid_)}, {"GID", std::to_string(mail_gid_)},
                                            {"MAILDIR", maildir_}, {"SASL", sasl_socket()},
                                            {"PORT0", std::to_string(ports[0])}, {"PORT1", std::to_string(ports[1])}});
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
    // The names begin with the delivery's time (ten digits) or sequence number.
    std::sort(files.begin(), files.end(),
              [](const std::string& a, const std::string& b) { return fs::path(a).filename() < fs::path(b).filename(); });
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
