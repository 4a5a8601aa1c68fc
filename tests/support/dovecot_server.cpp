#include "support/dovecot_server.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <utility>

namespace fs = std::filesystem;

namespace qm::test {

namespace {

std::string dovecot_program() { return find_program({"/usr/sbin/dovecot", "/usr/local/sbin/dovecot"}); }

}  // namespace

bool dovecot_server::installed() { return !dovecot_program().empty(); }

dovecot_server::dovecot_server(dovecot_certificate certificate, std::string oauth2_introspection_url)
    : oauth2_url_(std::move(oauth2_introspection_url)),
      maildir_(directory_ / "home/Maildir/"),
      process_(directory_ / "dovecot.out", directory_ / "dovecot.log") {
    std::string why = prepare(certificate);
    if (why.empty())
        why = process_.start(2, std::bind_front(&dovecot_server::configure, this),
                             {dovecot_program(), "-F", "-c", directory_ / "dovecot.conf"});
    if (!why.empty()) failure_ = start_failure("Dovecot", why, log());
}

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
    identity_ = certificate == dovecot_certificate::test_ca ? shared_test_certificates().localhost
                                                            : shared_test_certificates().self_signed;
    write_bytes(directory_ / "passwd", user() + ":{PLAIN}" + password() + "\n");
    if (!oauth2_url_.empty()) {
        write_bytes(directory_ / "oauth2.conf", filled_template("dovecot-oauth2.conf", {{"DIR", directory_.path()}}));
        write_bytes(directory_ / "oauth2.conf.ext", filled_template("dovecot-oauth2.conf.ext", {{"URL", oauth2_url_}}));
    }
    return "";
}

std::string dovecot_server::configure(const std::vector<int>& ports) {
    write_bytes(directory_ / "dovecot.conf",
                filled_template("dovecot.conf",
                                {{"DIR", directory_.path()}, {"CERT", identity_.certificate_file},
                                 {"KEY", identity_.key_file}, {"USER", internal_user_}, {"GROUP", internal_group_},
                                 {"UID", std::to_string(mail_uid_)}, {"GID", std::to_string(mail_gid_)},
                                 {"MAILDIR", maildir_}, {"SASL", sasl_socket()},
                                 {"PORT0", std::to_string(ports[0])}, {"PORT1", std::to_string(ports[1])}}));
    return "";
}

void dovecot_server::deliver(std::string_view message) {
    // Maildir names begin with the delivery time; a fixed base plus a counter
    // keeps them unique and in delivery order, which is the server's order.
    ++delivered_;
    const std::string name = std::to_string(1700000000UL + delivered_) + ".M" + std::to_string(delivered_) + "P" +
                             std::to_string(::getpid()) + ".qmtest";
    std::string temporary = maildir_ + "tmp/" + name;
    write_bytes(temporary, message);
    if (::geteuid() == 0 && ::chown(temporary.c_str(), mail_uid_, mail_gid_) != 0)
        throw std::runtime_error("cannot chown " + temporary);
    if (::rename(temporary.c_str(), (maildir_ + "new/" + name).c_str()) != 0)
        throw std::runtime_error("cannot deliver " + name);
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
    for (const std::string sub : {"new/", "cur/"})
        for (const std::string& name : list_names(maildir + sub)) files.push_back(maildir + sub + name);
    // The names begin with the delivery's time (ten digits) or sequence number.
    std::ranges::sort(files, {}, [](const std::string& file) { return fs::path(file).filename().string(); });
    return files;
}

std::vector<std::string> maildir_messages(const std::string& maildir) {
    std::vector<std::string> contents;
    for (const std::string& file : maildir_files(maildir)) contents.push_back(read_bytes(file));
    return contents;
}

}  // namespace qm::test
