#include "support/smtp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "support/test_certificates.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace qm::test {

namespace {

using namespace std::chrono_literals;

constexpr auto start_timeout = 20s;
constexpr auto stop_timeout = 10s;
constexpr int start_attempts = 3;

std::string first_program(std::initializer_list<const char*> candidates) {
    for (const char* candidate : candidates)
        if (::access(candidate, X_OK) == 0) return candidate;
    return {};
}

std::string postfix_command() { return first_program({"/usr/sbin/postfix", "/usr/local/sbin/postfix"}); }
std::string master_program() {
    return first_program({"/usr/lib/postfix/sbin/master", "/usr/libexec/postfix/master", "/usr/local/libexec/postfix/master"});
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool write_file(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int free_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

bool accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(port);
    bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

// Starts the program with its output appended to `output_file`; the child
// goes with the test process, also when that one crashes. -1 on failure.
pid_t spawn(std::vector<std::string> arguments, const std::string& output_file) {
    int output = ::open(output_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t parent = ::getpid();
    pid_t pid = output >= 0 && input >= 0 ? ::fork() : -1;
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(input, STDIN_FILENO);
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (output >= 0) ::close(output);
    if (input >= 0) ::close(input);
    return pid;
}

// A maildir's message count (new/ and cur/).
std::size_t maildir_count(const std::string& maildir) {
    std::size_t count = 0;
    for (const char* sub : {"new", "cur"}) {
        std::error_code ec;
        for (auto it = fs::directory_iterator(maildir + sub, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
            ++count;
    }
    return count;
}

// A path as the virtual delivery agent takes it below a mailbox base of "/".
std::string below_root(const std::string& path) { return path.substr(path.find_first_not_of('/')); }

}  // namespace

bool smtp_server::installed() { return !postfix_command().empty() && !master_program().empty() && dovecot_server::installed(); }

smtp_server::smtp_server() {
    if (!prepare()) return;
    for (int attempt = 0; attempt < start_attempts; ++attempt) {
        if (launch()) return;
        // Another process may have taken a port between the choice and the
        // server's bind: try again with new ports.
        if (log().find("Address already in use") == std::string::npos) return;
    }
}

smtp_server::~smtp_server() {
    stop();
    if (!directory_.empty()) remove_tree(directory_);
}

bool smtp_server::fail(std::string why) {
    failure_ = "Postfix could not be started: " + why;
    std::string output = log();
    if (!output.empty()) failure_ += "\n--- server logs ---\n" + output;
    return false;
}

int smtp_server::port(smtp_port which) const { return ports_[static_cast<int>(which)]; }

std::string smtp_server::log() const {
    std::string text;
    if (!output_file_.empty()) text += read_file(output_file_);
    if (!log_file_.empty()) text += read_file(log_file_);
    if (store_) text += store_->log();
    return text;
}

std::size_t smtp_server::other_message_count() const {
    return directory_.empty() ? 0 : maildir_count(directory_ + "others/Maildir/");
}

bool smtp_server::wait_for_delivery(std::size_t count, std::size_t others, std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (store_->message_count() >= count && other_message_count() >= others) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
}

bool smtp_server::prepare() {
    if (postfix_command().empty() || master_program().empty())
        return fail("Postfix is not installed (Debian package postfix)");
    if (::geteuid() != 0) return fail("Postfix runs only as root (the CI runs the tests as root)");
    const passwd* postfix_user = ::getpwnam("postfix");
    if (!postfix_user) return fail("there is no user \"postfix\" (the Debian package makes it)");
    const uid_t postfix_uid = postfix_user->pw_uid;  // the entry is overwritten by the next look-up
    const gid_t postfix_gid = postfix_user->pw_gid;

    store_ = std::make_unique<dovecot_server>(dovecot_options{dovecot_certificate::test_ca, true});
    if (!store_->running()) return fail(store_->failure());

    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qmpostfix-XXXXXX";
    if (!::mkdtemp(pattern.data())) return fail("no temporary directory");
    directory_ = pattern + "/";
    log_file_ = directory_ + "postfix.log";
    output_file_ = directory_ + "master.out";
    ::chmod(directory_.c_str(), 0755);

    std::error_code ec;
    for (const char* sub : {"conf", "queue", "data", "others/Maildir/new", "others/Maildir/cur", "others/Maildir/tmp"})
        fs::create_directories(directory_ + sub, ec);
    if (ec) return fail("cannot make the server's directories: " + ec.message());
    if (::chown((directory_ + "data").c_str(), postfix_uid, postfix_gid) != 0)
        return fail("cannot give the data directory to postfix");
    for (const char* sub : {"others", "others/Maildir", "others/Maildir/new", "others/Maildir/cur", "others/Maildir/tmp"})
        if (::chown((directory_ + sub).c_str(), store_->mail_uid(), store_->mail_gid()) != 0)
            return fail(std::string("cannot chown ") + sub);

    std::string mailboxes = address() + " " + below_root(store_->maildir()) + "\n@" + domain() + " " +
                            below_root(directory_ + "others/Maildir/") + "\n";
    if (!write_file(directory_ + "mailboxes", mailboxes)) return fail("cannot write the mailbox table");
    return true;
}

bool smtp_server::write_configuration() {
    const test_certificates& certificates = shared_test_certificates();
    std::ostringstream main;
    main << "compatibility_level = 3.6\n"
         << "queue_directory = " << directory_ << "queue\n"
         << "data_directory = " << directory_ << "data\n"
         << "maillog_file = " << log_file_ << "\n"
         << "maillog_file_prefixes = " << directory_ << "\n"
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
         << "virtual_mailbox_maps = texthash:" << directory_ << "mailboxes\n"
         << "virtual_uid_maps = static:" << store_->mail_uid() << "\n"
         << "virtual_gid_maps = static:" << store_->mail_gid() << "\n"
         << "virtual_minimum_uid = 1\n";

    std::ostringstream master;
    const char* smtpd = " inet n - n - - smtpd";
    master << ports_[0] << smtpd << "\n"
           << ports_[1] << smtpd << " -o smtpd_sasl_mechanism_filter=plain\n"
           << ports_[2] << smtpd << " -o smtpd_sasl_mechanism_filter=login\n"
           << ports_[3] << smtpd << " -o smtpd_tls_wrappermode=yes -o smtpd_tls_security_level=encrypt\n"
           << "cleanup unix n - n - 0 cleanup\n"
           << "qmgr unix n - n 300 1 qmgr\n"
           << "tlsmgr unix - - n 1000? 1 tlsmgr\n"
           << "rewrite unix - - n - - trivial-rewrite\n"
           << "bounce unix - - n - 0 bounce\n"
           << "defer unix - - n - 0 bounce\n"
           << "trace unix - - n - 0 bounce\n"
           << "verify unix - - n - 1 verify\n"
           << "flush unix n - n 1000? 0 flush\n"
           << "proxymap unix - - n - - proxymap\n"
           << "smtp unix - - n - - smtp\n"
           << "relay unix - - n - - smtp\n"
           << "error unix - - n - - error\n"
           << "retry unix - - n - - error\n"
           << "discard unix - - n - - discard\n"
           << "local unix - n n - - local\n"
           << "virtual unix - n n - - virtual\n"
           << "anvil unix - - n - 1 anvil\n"
           << "scache unix - - n - 1 scache\n"
           << "postlog unix-dgram n - n - 1 postlogd\n";
    return write_file(directory_ + "conf/main.cf", main.str()) && write_file(directory_ + "conf/master.cf", master.str());
}

// "postfix check" makes the queue's sub-directories with their owners.
bool smtp_server::check_queue() {
    pid_t pid = spawn({postfix_command(), "-c", directory_ + "conf", "check"}, output_file_);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool smtp_server::launch() {
    for (int& port : ports_) {
        do port = free_port();
        while (port != 0 && std::count(std::begin(ports_), std::end(ports_), port) > 1);
        if (port == 0) return fail("no free port on 127.0.0.1");
    }
    try {
        if (!write_configuration()) return fail("cannot write main.cf and master.cf");
    } catch (const std::exception& error) {
        return fail(std::string("no test certificates: ") + error.what());
    }
    if (!check_queue()) return fail("\"postfix check\" failed");

    pid_ = spawn({master_program(), "-c", directory_ + "conf"}, output_file_);
    if (pid_ < 0) return fail("cannot run the Postfix master");
    auto deadline = std::chrono::steady_clock::now() + start_timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return fail("the master ended at start-up");
        }
        if (std::all_of(std::begin(ports_), std::end(ports_), accepts)) return true;
        std::this_thread::sleep_for(10ms);
    }
    stop();
    return fail("the server did not accept connections within 20 seconds");
}

void smtp_server::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + stop_timeout;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
}

}  // namespace qm::test
