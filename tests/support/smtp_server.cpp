#include "support/smtp_server.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
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

smtp_server::smtp_server(std::vector<std::string> own_mailboxes)
    : own_mailboxes_(std::move(own_mailboxes)), process_(directory_ / "master.out", directory_ / "postfix.log") {
    std::string why = prepare();
    if (why.empty())
        why = process_.start(
            5, [&](const std::vector<int>& ports) { return configure(ports); },
            {master_program(), "-c", directory_ / "conf"});
    if (!why.empty()) failure_ = start_failure("Postfix", why, log());
}

std::string smtp_server::log() const { return process_.log() + (store_ ? store_->log() : ""); }

bool smtp_server::wait_for_delivery(std::size_t count, std::size_t others, std::chrono::milliseconds timeout) const {
    return wait_until([&] {
        return store_->message_count() >= count && maildir_files(directory_ / "others/Maildir/").size() >= others;
    }, timeout);
}

std::vector<std::string> smtp_server::own_mailbox(const std::string& local_part) const {
    return maildir_messages(directory_ / ("boxes/" + local_part + "/Maildir/"));
}

bool smtp_server::wait_for_own_mailboxes(const std::vector<std::string>& local_parts, std::size_t count,
                                         std::chrono::milliseconds timeout) const {
    return wait_until([&] {
        return std::all_of(local_parts.begin(), local_parts.end(), [&](const std::string& local) {
            return maildir_files(directory_ / ("boxes/" + local + "/Maildir/")).size() >= count;
        });
    }, timeout);
}

std::string smtp_server::prepare() {
    if (postfix_command().empty() || master_program().empty())
        return "Postfix is not installed (Debian package postfix)";
    if (::geteuid() != 0) return "Postfix runs only as root (the CI runs the tests as root)";
    const passwd* postfix_user = ::getpwnam("postfix");
    if (!postfix_user) return "there is no user \"postfix\" (the Debian package makes it)";
    const uid_t postfix_uid = postfix_user->pw_uid;  // the entry is overwritten by the next look-up
    const gid_t postfix_gid = postfix_user->pw_gid;

    store_ = std::make_unique<dovecot_server>(dovecot_certificate::test_ca, true);
    if (!store_->running()) return store_->failure();

    ::chmod(directory_.path().c_str(), 0755);
    std::error_code ec;
    for (const char* sub : {"conf", "queue", "data"})
        if (fs::create_directories(directory_ / sub, ec); ec) return "cannot make the server's directories";
    if (::chown((directory_ / "data").c_str(), postfix_uid, postfix_gid) != 0)
        return "cannot give the data directory to postfix";
    if (std::string why = make_maildir(directory_ / "others/", store_->mail_uid(), store_->mail_gid()); !why.empty())
        return why;
    std::string mailboxes = address() + " " + below_root(store_->maildir()) + "\n@" + domain() + " " +
                            below_root(directory_ / "others/Maildir/") + "\n";
    for (const std::string& local : own_mailboxes_) {
        const std::string box = directory_ / ("boxes/" + local + "/");
        if (std::string why = make_maildir(box, store_->mail_uid(), store_->mail_gid()); !why.empty()) return why;
        mailboxes += local + "@" + domain() + " " + below_root(box + "Maildir/") + "\n";
    }
    write_bytes(directory_ / "mailboxes", mailboxes);
    return "";
}

std::string smtp_server::configure(const std::vector<int>& ports) {
    const test_certificates& certificates = shared_test_certificates();  // made for the Dovecot already
    const std::string& directory = directory_.path();
    std::ostringstream main;
    main << "compatibility_level = 3.6\n"
         << "queue_directory = " << directory << "queue\n"
         << "data_directory = " << directory << "data\n"
         << "maillog_file = " << directory << "postfix.log\n"
         << "maillog_file_prefixes = " << directory << "\n"
         << "myhostname = mail.example.test\nmydomain = example.test\nmydestination =\n"
         << "inet_interfaces = 127.0.0.1\ninet_protocols = ipv4\nmynetworks = 127.0.0.0/8\n"
         << "alias_maps =\nalias_database =\nbiff = no\n"
         // Only the test domain is accepted: nothing is ever relayed.
         << "smtpd_relay_restrictions = reject_unauth_destination\n"
         << "smtpd_sasl_auth_enable = yes\nsmtpd_sasl_type = dovecot\n"
         << "smtpd_sasl_path = " << store_->sasl_socket() << "\n"
         << "smtpd_sasl_security_options = noanonymous\n"
         // Errors (refused passwords, rejected commands) are answered at once.
         << "smtpd_error_sleep_time = 0\nsmtpd_soft_error_limit = 1000\nsmtpd_hard_error_limit = 1000\n"
         << "smtpd_tls_chain_files = " << certificates.localhost.key_file << ", "
         << certificates.localhost.certificate_file << "\n"
         << "virtual_mailbox_domains = " << domain() << "\n"
         << "virtual_mailbox_base = /\n"
         << "virtual_mailbox_maps = texthash:" << directory << "mailboxes\n"
         << "virtual_uid_maps = static:" << store_->mail_uid() << "\n"
         << "virtual_gid_maps = static:" << store_->mail_gid() << "\n"
         << "virtual_minimum_uid = 1\n";

    std::ostringstream master;
    const char* smtpd = " inet n - n - - smtpd";
    master << ports[0] << smtpd << "\n"
           << ports[1] << smtpd << " -o smtpd_sasl_mechanism_filter=plain\n"
           << ports[2] << smtpd << " -o smtpd_sasl_mechanism_filter=login\n"
           << ports[3] << smtpd << " -o smtpd_tls_wrappermode=yes -o smtpd_tls_security_level=encrypt\n"
           << ports[4] << smtpd << " -o smtpd_tls_security_level=encrypt -o smtpd_tls_auth_only=yes\n"
           << "cleanup unix n - n - 0 cleanup\nqmgr unix n - n 300 1 qmgr\ntlsmgr unix - - n 1000? 1 tlsmgr\n"
           << "rewrite unix - - n - - trivial-rewrite\nbounce unix - - n - 0 bounce\n"
           << "defer unix - - n - 0 bounce\ntrace unix - - n - 0 bounce\nverify unix - - n - 1 verify\n"
           << "flush unix n - n 1000? 0 flush\nproxymap unix - - n - - proxymap\nsmtp unix - - n - - smtp\n"
           << "relay unix - - n - - smtp\nerror unix - - n - - error\nretry unix - - n - - error\n"
           << "discard unix - - n - - discard\nlocal unix - n n - - local\nvirtual unix - n n - - virtual\n"
           << "anvil unix - - n - 1 anvil\nscache unix - - n - 1 scache\npostlog unix-dgram n - n - 1 postlogd\n";
    write_bytes(directory + "conf/main.cf", main.str());
    write_bytes(directory + "conf/master.cf", master.str());
    // "postfix check" makes the queue's sub-directories with their owners.
    return process_.run({postfix_command(), "-c", directory + "conf", "check"}) ? "" : "\"postfix check\" failed";
}

}  // namespace qm::test
