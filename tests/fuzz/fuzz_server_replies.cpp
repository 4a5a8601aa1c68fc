// libFuzzer over what a mail server answers: the real POP3 or SMTP client
// talks over a loopback connection to a peer that has sent the fuzz bytes
// and closed its side, so every input ends. Walking those bytes as the
// protocol frames them, against the commands the client sent (POP3: its
// commands sent ahead when CAPA offers PIPELINING are answered in order): a
// step never succeeds on a reply that is not positive ("+OK"; a 1xx-3xx
// code), a receive writes exactly the messages that came whole before its
// first failed step, and a queued message leaves only once its data was
// taken.

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

#include "fuzz_support.h"
#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/smtp_client.h"
#include "platform/work_directory.h"

namespace fs = std::filesystem;
using fuzz::contents;
using qm::net_result;

namespace {

class idle_job : public qm::thread { void run() override {} };

// The lines of `text` that end with a line feed, in order.
struct line_walk {
    std::string_view text;
    std::optional<std::string_view> next() {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return std::nullopt;
        std::string_view line = text.substr(0, end + 1);
        text.remove_prefix(end + 1);
        return line;
    }
};

bool digits(std::string_view s) { return s.size() >= 3 && s.find_first_not_of("0123456789") >= 3; }
bool smtp_positive(std::string_view line) { return digits(line) && line[0] >= '1' && line[0] <= '3'; }
// The last line of an SMTP reply; nullopt when the bytes end before it.
std::optional<std::string_view> smtp_reply(line_walk& replies) {
    for (auto line = replies.next(); line; line = replies.next()) {
        const std::string_view end = line->substr(std::min<std::size_t>(3, line->size()));
        if (end.starts_with(' ') || (digits(*line) && (end == "\r\n" || end == "\n"))) return line;
    }
    return std::nullopt;
}

// The POP3 client takes any reply that begins with "+" for "+OK" (reported;
// such inputs are passed by until that is fixed).
bool mistaken(std::string_view reply) { return reply.starts_with('+') && !reply.starts_with("+OK"); }

struct exchange { std::string command; bool positive; };

// Each command's reply. POP3: one line; after a positive CAPA or UIDL
// (the listing) the lines up to "."; after a positive RETR the message's
// lines up to ".", dots unstuffed (kept until a transfer step failed). SMTP:
// lines up to one with a blank after its code; after a positive DATA the
// client's lines up to "." and one reply.
bool walk(line_walk& replies, bool smtp, const std::vector<std::string>& commands, std::vector<exchange>& walked,
          std::vector<std::string>& messages) {
    bool transfer_failed = false;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        auto reply = smtp ? smtp_reply(replies) : replies.next();
        if (!reply) break;
        if (!smtp && mistaken(*reply)) return false;
        walked.push_back({commands[i], smtp ? smtp_positive(*reply) : reply->starts_with("+OK")});
        const std::string_view verb = std::string_view(commands[i]).substr(0, 4);
        if (!smtp && !walked.back().positive && (verb == "STAT" || verb == "UIDL" || verb == "RETR" || verb == "DELE"))
            transfer_failed = true;
        if (!smtp && walked.back().positive && (commands[i] == "CAPA" || commands[i] == "UIDL")) {
            for (auto line = replies.next(); line && *line != ".\r\n" && *line != ".\n"; line = replies.next()) {}
            continue;
        }
        if (!walked.back().positive || verb != (smtp ? "DATA" : "RETR")) continue;
        if (smtp) {
            while (i + 1 < commands.size() && commands[++i] != ".") {}
            if (!(reply = smtp_reply(replies))) break;
            walked.push_back({".", smtp_positive(*reply)});
            continue;
        }
        std::string message;
        for (auto line = replies.next(); line; line = replies.next()) {
            if (*line == ".\r\n") {
                if (!transfer_failed) messages.push_back(message);
                break;
            }
            message += line->substr(line->starts_with("..") ? 1 : 0);
        }
    }
    return true;
}

// One dialogue of the client with a peer that has said `bytes`.
void talk(int listener, std::string_view bytes, bool smtp, bool option) {
    const std::string work = fuzz::scratch() + "work/", uid_list = fuzz::scratch() + "uid.lst", queued = work + "1.smt";
    fs::remove_all(work);
    fs::create_directories(work);
    std::ofstream(uid_list).flush();
    std::ofstream(queued, std::ios::binary) << "Subject: fuzz\r\n\r\nbody\r\n";
    std::ofstream(qm::envelope_path(queued)) << "from@example.com\nto@example.com\n";
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);

    idle_job job;
    net_result started = net_result::connect_failed, done = net_result::connect_failed;
    int peer = -1;
    {
        qm::connection link(false);
        CHECK(link.connect_server(job, "127.0.0.1", ntohs(bound.sin_port), true, false) == net_result::ok);
        peer = ::accept(listener, nullptr, nullptr);
        const ssize_t taken = ::send(peer, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        bytes = bytes.substr(0, taken > 0 ? taken : 0);
        ::shutdown(peer, SHUT_WR);
        std::string password = "secret";
        const std::string user = "user";
        if (smtp && (started = qm::smtp_start(link, job, "client.example", option ? &user : nullptr, password)) ==
                        net_result::ok)
            done = qm::smtp_send_queue(link, job, work);
        qm::pop_capabilities offered;
        if (!smtp && (started = qm::pop_login(link, job, user, password, option)) == net_result::ok &&
            (started = qm::pop_ask_capabilities(link, job, offered)) == net_result::ok)
            done = qm::pop_receive(link, job, work, uid_list, {option, offered.pipelining, qm::default_download_limit, {}});
        smtp ? qm::smtp_quit(link, job) : qm::pop_quit(link, job);
        link.close_gently();
    }  // closed: the peer reads to the end of what the client said
    std::string received;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(peer, buffer, sizeof buffer, 0)) > 0;) received.append(buffer, n);
    ::close(peer);
    std::vector<std::string> commands;
    for (std::size_t start = 0, end; (end = received.find("\r\n", start)) != std::string::npos; start = end + 2)
        commands.push_back(received.substr(start, end - start));

    line_walk replies{bytes};
    std::vector<exchange> walked;
    std::vector<std::string> messages;
    auto greeting = smtp ? smtp_reply(replies) : replies.next();
    if (!greeting || (!smtp && mistaken(*greeting)) || !walk(replies, smtp, commands, walked, messages)) return;
    // The login's steps come before the first command of the transfer.
    auto transfer = std::find_if(walked.begin(), walked.end(), [&](const exchange& e) {
        return e.command.starts_with(smtp ? "MAIL FROM:" : "STAT") || e.command == "QUIT";
    });
    // The login's last step (CAPA after it may be refused: nothing offered).
    auto login = std::find_if(std::make_reverse_iterator(transfer), walked.rend(),
                              [](const exchange& e) { return e.command != "CAPA"; });
    if (started == net_result::ok) {
        CHECK(smtp ? smtp_positive(*greeting) : greeting->starts_with("+OK"));
        CHECK(login != walked.rend() && login->positive);
    }
    for (auto e = transfer; done == net_result::ok && e != walked.end() && e->command != "QUIT"; ++e)
        CHECK(e->positive);
    if (smtp) {
        const bool taken = std::any_of(walked.begin(), walked.end(), [](auto& e) { return e.command == "." && e.positive; });
        CHECK(fs::exists(queued) == !taken && (done != net_result::ok || taken));
    } else {
        std::vector<std::string> downloads;
        for (const std::string& name : qm::download_files(work)) downloads.push_back(contents(work + name));
        CHECK(downloads == messages);
    }
}

}  // namespace

// Each input is what a POP3 server and then what an SMTP server said; with
// an odd length the POP3 client tries APOP and deletes, the SMTP one logs in.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int listener = [] {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0), room = 1 << 20;
        sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        CHECK(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 4) == 0);
        return fd;
    }();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    talk(listener, bytes, false, size % 2);
    talk(listener, bytes, true, size % 2);
    return 0;
}
