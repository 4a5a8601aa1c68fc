#include "support/dovecot_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/test_certificates.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace qm::test {

namespace {

using namespace std::chrono_literals;

constexpr auto start_timeout = 20s;
constexpr auto stop_timeout = 10s;
constexpr int start_attempts = 3;

std::string dovecot_program() {
    for (const char* candidate : {"/usr/sbin/dovecot", "/usr/local/sbin/dovecot"})
        if (::access(candidate, X_OK) == 0) return candidate;
    return {};
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

// A port on 127.0.0.1 that nothing listens on right now (0 when none).
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

dovecot_server::dovecot_server(dovecot_certificate certificate)
    : dovecot_server(dovecot_options{certificate, false}) {}

dovecot_server::dovecot_server(const dovecot_options& options) : sasl_listener_(options.sasl_listener) {
    if (!prepare(options.certificate)) return;
    for (int attempt = 0; attempt < start_attempts; ++attempt) {
        if (launch()) return;
        // Another process may have taken a port between the choice and the
        // server's bind: try again with new ports.
        if (log().find("Address already in use") == std::string::npos) return;
    }
}

dovecot_server::~dovecot_server() {
    stop();
    if (!directory_.empty()) remove_tree(directory_);
}

bool dovecot_server::fail(std::string why) {
    failure_ = "Dovecot could not be started: " + why;
    std::string output = log();
    if (!output.empty()) failure_ += "\n--- server log ---\n" + output;
    return false;
}

std::string dovecot_server::ca_file() const { return shared_test_certificates().ca_file; }

std::string dovecot_server::log() const {
    std::string text;
    if (!output_file_.empty()) text += read_file(output_file_);
    if (!log_file_.empty()) text += read_file(log_file_);
    return text;
}

bool dovecot_server::prepare(dovecot_certificate certificate) {
    if (!installed()) return fail("the dovecot program is not installed (Debian packages dovecot-core, dovecot-pop3d)");
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qmdovecot-XXXXXX";
    if (!::mkdtemp(pattern.data())) return fail("no temporary directory");
    directory_ = pattern + "/";
    log_file_ = directory_ + "dovecot.log";
    output_file_ = directory_ + "dovecot.out";

    // Dovecot refuses to give mail to uid 0, so under root the mail and the
    // server's own processes belong to "nobody"; they must reach the directory.
    bool root = ::geteuid() == 0;
    const passwd* owner = root ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
    const group* owner_group = owner ? ::getgrgid(owner->pw_gid) : nullptr;
    if (!owner || !owner_group) return fail(root ? "no user \"nobody\" to own the mail" : "the user has no name");
    mail_uid_ = owner->pw_uid;
    mail_gid_ = owner->pw_gid;
    internal_user_ = owner->pw_name;
    internal_group_ = owner_group->gr_name;
    if (root) ::chmod(directory_.c_str(), 0755);

    std::error_code ec;
    std::string home = directory_ + "home/";
    maildir_ = home + "Maildir/";
    for (const char* sub : {"new", "cur", "tmp"}) fs::create_directories(maildir_ + sub, ec);
    fs::create_directories(directory_ + "run", ec);
    fs::create_directories(directory_ + "state", ec);
    if (ec) return fail("cannot make the server's directories: " + ec.message());
    for (const std::string& path : {home, maildir_, maildir_ + "new", maildir_ + "cur", maildir_ + "tmp"})
        if (root && ::chown(path.c_str(), mail_uid_, mail_gid_) != 0) return fail("cannot chown " + path);

    if (certificate == dovecot_certificate::test_ca) {
        try {
            const test_certificates& certificates = shared_test_certificates();
            certificate_file_ = certificates.localhost.certificate_file;
            key_file_ = certificates.localhost.key_file;
        } catch (const std::exception& error) {
            return fail(std::string("no test certificates: ") + error.what());
        }
    } else {
        certificate_file_ = directory_ + "self-signed.pem";
        key_file_ = directory_ + "self-signed.key";
        std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -addext "
                              "subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" + key_file_ + "' -out '" +
                              certificate_file_ + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            return fail("openssl could not make a self-signed certificate");
    }
    if (!write_file(directory_ + "passwd", user() + ":{PLAIN}" + password() + "\n"))
        return fail("cannot write the password file");
    return true;
}

bool dovecot_server::write_configuration() {
    std::ostringstream conf;
    conf << "base_dir = " << directory_ << "run\n"
         << "state_dir = " << directory_ << "state\n"
         << "log_path = " << log_file_ << "\n"
         << "protocols = pop3\n"
         << "listen = 127.0.0.1\n"
         << "ssl = yes\n"
         << "ssl_cert = <" << certificate_file_ << "\n"
         << "ssl_key = <" << key_file_ << "\n"
         << "disable_plaintext_auth = no\n"
         << "auth_mechanisms = plain apop" << (sasl_listener_ ? " login cram-md5" : "") << "\n"
         << "auth_verbose = yes\n"
         // Refused passwords are answered without the usual two seconds' delay.
         << "auth_failure_delay = 0\n"
         << "default_internal_user = " << internal_user_ << "\n"
         << "default_internal_group = " << internal_group_ << "\n"
         << "default_login_user = " << internal_user_ << "\n"
         << "first_valid_uid = 1\n"
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " << directory_
         << "passwd\n}\n"
         << "userdb {\n  driver = static\n  args = uid=" << mail_uid_ << " gid=" << mail_gid_ << " home=" << directory_
         << "home\n}\n"
         << "mail_location = maildir:" << maildir_ << "\n"
         << "service pop3-login {\n  chroot =\n"
         << "  inet_listener pop3 {\n    port = " << pop3_port_ << "\n  }\n"
         << "  inet_listener pop3s {\n    port = " << pop3s_port_ << "\n    ssl = yes\n  }\n}\n"
         // The SMTP server's processes run as another user than Dovecot's.
         << (sasl_listener_ ? "service auth {\n  unix_listener " + sasl_socket() + " {\n    mode = 0666\n  }\n}\n"
                            : std::string())
         // Without the penalty socket a refused password does not slow down
         // every later login from the same address.
         << "service anvil {\n  chroot =\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
    return write_file(directory_ + "dovecot.conf", conf.str());
}

bool dovecot_server::launch() {
    pop3_port_ = free_port();
    pop3s_port_ = free_port();
    while (pop3s_port_ == pop3_port_ && pop3_port_ != 0) pop3s_port_ = free_port();
    if (pop3_port_ == 0 || pop3s_port_ == 0) return fail("no free port on 127.0.0.1");
    if (!write_configuration()) return fail("cannot write dovecot.conf");

    std::string program = dovecot_program();
    std::string conf = directory_ + "dovecot.conf";
    std::vector<char*> argv = {program.data(), const_cast<char*>("-F"), const_cast<char*>("-c"), conf.data(), nullptr};
    int output = ::open(output_file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (output < 0 || input < 0) {
        if (output >= 0) ::close(output);
        if (input >= 0) ::close(input);
        return fail("cannot open " + output_file_);
    }
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid == 0) {
        // The server goes with the test process, also when that one crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(input, STDIN_FILENO);
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output);
    ::close(input);
    if (pid < 0) return fail("cannot run " + program);
    pid_ = pid;

    auto deadline = std::chrono::steady_clock::now() + start_timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return fail("the server ended at start-up");
        }
        if (accepts(pop3_port_) && accepts(pop3s_port_)) return true;
        std::this_thread::sleep_for(10ms);
    }
    stop();
    return fail("the server did not accept connections within 20 seconds");
}

void dovecot_server::stop() {
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

std::string dovecot_server::deliver(std::string_view message) {
    std::string name = maildir_name(++delivered_);
    std::string temporary = maildir_ + "tmp/" + name;
    std::string final_path = maildir_ + "new/" + name;
    if (!write_file(temporary, message)) throw std::runtime_error("cannot write " + temporary);
    if (::geteuid() == 0 && ::chown(temporary.c_str(), mail_uid_, mail_gid_) != 0)
        throw std::runtime_error("cannot chown " + temporary);
    if (::rename(temporary.c_str(), final_path.c_str()) != 0) throw std::runtime_error("cannot deliver " + name);
    return name;
}

std::vector<std::string> dovecot_server::message_files() const {
    std::vector<std::string> files;
    for (const char* sub : {"new/", "cur/"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(maildir_ + sub, ec)) files.push_back(entry.path().string());
    }
    // Delivery order: the names begin with the delivery's sequence number.
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        return std::strtoul(fs::path(a).filename().c_str(), nullptr, 10) <
               std::strtoul(fs::path(b).filename().c_str(), nullptr, 10);
    });
    return files;
}

std::vector<std::string> dovecot_server::messages() const {
    std::vector<std::string> contents;
    for (const std::string& file : message_files()) contents.push_back(read_file(file));
    return contents;
}

}  // namespace qm::test
