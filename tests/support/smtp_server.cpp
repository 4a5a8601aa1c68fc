#include "support/smtp_server.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "support/test_certificates.h"

namespace fs = std::filesystem;

namespace qm::test {

namespace {

std::string postfix_command() { return find_program({"/usr/sbin/postfix", "/usr/local/sbin/postfix"}); }
std::string master_program() {
    return find_program(
        {"/usr/lib/postfix/sbin/master", "/usr/libexec/postfix/master", "/usr/local/libexec/postfix/master"});
}

// A path as the virtual delivery agent takes it below a mailbox base of "/".
std::string below_root(const std::string& path) { return path.substr(path.find_first_not_of('/')); }

}  // namespace

bool smtp_server::installed() {
    return !postfix_command().empty() && !master_program().empty() && dovecot_server::installed();
}

smtp_server::smtp_server(std::string oauth2_introspection_url)
    : oauth2_url_(std::move(oauth2_introspection_url)), process_(directory_ / "master.out", directory_ / "postfix.log") {
    std::string why = prepare();
    if (why.empty())
        why = process_.start(5, std::bind_front(&smtp_server::configure, this), {master_program(), "-c", directory_ / "conf"});
    if (!why.empty()) failure_ = start_failure("Postfix", why, log());
}

std::string smtp_server::log() const { return process_.log() + (store_ ? store_->log() : ""); }

bool smtp_server::wait_for_delivery(std::size_t count, std::size_t others, std::chrono::milliseconds timeout) const {
    return wait_until([&] {
        return store_->message_count() >= count && maildir_files(directory_ / "others/Maildir/").size() >= others;
    }, timeout);
}

std::string smtp_server::prepare() {
    if (!installed()) return "Postfix or Dovecot is not installed (Debian packages postfix, dovecot-pop3d)";
    if (::geteuid() != 0) return "Postfix runs only as root (the CI runs the tests as root)";
    const passwd* postfix_user = ::getpwnam("postfix");
    if (!postfix_user) return "there is no user \"postfix\" (the Debian package makes it)";
    const uid_t postfix_uid = postfix_user->pw_uid;  // the entry is overwritten by the next look-up
    const gid_t postfix_gid = postfix_user->pw_gid;

    store_ = std::make_unique<dovecot_server>(dovecot_certificate::test_ca, oauth2_url_);
    if (!store_->running()) return store_->failure();

    ::chmod(directory_.path().c_str(), 0755);
    std::error_code ec;
    for (const char* sub : {"conf", "queue", "data"})
        if (fs::create_directories(directory_ / sub, ec); ec) return "cannot make the server's directories";
    if (::chown((directory_ / "data").c_str(), postfix_uid, postfix_gid) != 0)
        return "cannot give the data directory to postfix";
    if (std::string why = make_maildir(directory_ / "others/", store_->mail_uid(), store_->mail_gid()); !why.empty())
        return why;
    write_bytes(directory_ / "mailboxes", address() + " " + below_root(store_->maildir()) + "\n@" + domain() + " " +
                                              below_root(directory_ / "others/Maildir/") + "\n");
    return "";
}

std::string smtp_server::configure(const std::vector<int>& ports) {
    const tls_identity& identity = shared_test_certificates().localhost;  // made for the Dovecot already
    const std::string& directory = directory_.path();
    write_bytes(directory + "conf/main.cf",
                filled_template("postfix-main.cf", {{"DIR", directory}, {"SASL", store_->sasl_socket()},
                                                    {"KEY", identity.key_file}, {"CERT", identity.certificate_file},
                                                    {"UID", std::to_string(store_->mail_uid())},
                                                    {"GID", std::to_string(store_->mail_gid())}}));
    std::map<std::string, std::string> port_values;
    for (std::size_t i = 0; i < ports.size(); ++i) port_values["PORT" + std::to_string(i)] = std::to_string(ports[i]);
    write_bytes(directory + "conf/master.cf", filled_template("postfix-master.cf", port_values));
    // "postfix check" makes the queue's sub-directories with their owners.
    return process_.run({postfix_command(), "-c", directory + "conf", "check"}) ? "" : "\"postfix check\" failed";
}

}  // namespace qm::test
