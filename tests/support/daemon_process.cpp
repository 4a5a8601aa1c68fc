#include "support/daemon_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace qm::test {

namespace {

using namespace std::chrono_literals;

// A TCP socket bound (port 0: a free port) or connected to 127.0.0.1; the
// port it ended on, or 0.
int loopback_port(int port, bool connect) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = htons(static_cast<std::uint16_t>(port)),
                        .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    bool ok = fd >= 0 && (connect ? ::connect(fd, raw, length) : ::bind(fd, raw, length)) == 0 &&
              ::getsockname(fd, raw, &length) == 0;
    if (fd >= 0) ::close(fd);
    return ok ? (connect ? port : ntohs(address.sin_port)) : 0;
}

pid_t spawn(const std::vector<std::string>& command, const std::string& output_file) {
    int output = ::open(output_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
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

}  // namespace

std::string find_program(std::initializer_list<const char*> candidates) {
    for (const char* candidate : candidates)
        if (::access(candidate, X_OK) == 0) return candidate;
    return {};
}

std::string filled_template(const std::string& name, const std::map<std::string, std::string>& values) {
    // Found beside this file, so that the benchmarks that borrow it need no definition of the data folder.
    const std::string tests = std::filesystem::path(__FILE__).parent_path().parent_path().string();
    std::string text = read_bytes(tests + "/data/servers/" + name);
    for (const auto& [key, value] : values)
        for (std::size_t at; (at = text.find("@" + key + "@")) != std::string::npos;) text.replace(at, key.size() + 2, value);
    return text;
}

std::string start_failure(const std::string& server, const std::string& why, const std::string& log) {
    return server + " could not be started: " + why + (log.empty() ? "" : "\n--- server logs ---\n" + log);
}

std::string daemon_process::start(std::size_t port_count,
                                  const std::function<std::string(const std::vector<int>&)>& configure,
                                  const std::vector<std::string>& command) {
    const std::string ended = "the server ended at start-up";
    std::string why;
    // A port found free may be taken by another process before the server
    // binds it (tests run side by side): a server that ends at start-up, or
    // says so, is tried again on other ports.
    for (int attempt = 0;
         attempt < 3 && (attempt == 0 || why == ended || log().find("Address already in use") != std::string::npos);
         ++attempt) {
        ports_.clear();
        while (ports_.size() < port_count) {
            int port = loopback_port(0, false);
            if (port == 0) return "no free port on 127.0.0.1";
            if (std::ranges::find(ports_, port) == ports_.end()) ports_.push_back(port);
        }
        if (configure && !(why = configure(ports_)).empty()) return why;
        if ((pid_ = spawn(command, output_file_)) < 0) return "cannot run " + command[0];
        const auto up_or_ended = [&] {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
            return !running() || std::ranges::all_of(ports_, [](int port) { return loopback_port(port, true) != 0; });
        };
        if (wait_until(up_or_ended, 20s) && running()) return "";
        why = running() ? "the server did not accept connections within 20 seconds" : ended;
        stop();
    }
    return why;
}

void daemon_process::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (!wait_until([this] { return ::waitpid(pid_, nullptr, WNOHANG) != 0; }, 10s) && ::kill(pid_, SIGKILL) == 0)
        ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool daemon_process::run(const std::vector<std::string>& command) const {
    pid_t pid = spawn(command, output_file_);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string daemon_process::log() const { return read_bytes(output_file_) + read_bytes(log_file_); }

}  // namespace qm::test
