#include "app/running_instance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <memory>

#include "platform/instance_lock.h"
#include "platform/program_context.h"
#include "text/mailto.h"

namespace qm {

namespace {

constexpr int answer_wait_ms = 1000;
constexpr std::string_view raise_word = "raise";
constexpr std::string_view link_word = "mailto ";
constexpr std::string_view send_word = "send ";
// A client that sends more than one link's worth without a line end is cut
// off rather than read into memory without end.
constexpr std::size_t request_limit = mailto_length_limit + 64;

// Beside the single-instance lock, in a directory only the user can enter,
// so that nobody else's copy answers.
QString socket_name() {
    const std::string path = instance_file_path(context().temporary_directory, "sock");
    return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
}

bool send_request(std::string_view line) {
    QLocalSocket socket;
    socket.connectToServer(socket_name());
    if (!socket.waitForConnected(answer_wait_ms)) return false;
    socket.write(line.data(), static_cast<qint64>(line.size()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(answer_wait_ms)) return false;
    }
    socket.disconnectFromServer();
    return true;
}

}  // namespace

bool ask_running_instance_to_raise() { return send_request("raise\n"); }

bool hand_link_to_running_instance(std::string_view uri) {
    // A line end inside would split the request; no valid link holds one.
    if (uri.find_first_of("\r\n") != std::string_view::npos) return false;
    return send_request(std::string(link_word) + std::string(uri) + "\n");
}

bool hand_draft_to_running_instance(std::string_view directory) {
    if (directory.find_first_of("\r\n") != std::string_view::npos) return false;
    return send_request(std::string(send_word) + std::string(directory) + "\n");
}

std::vector<instance_request> take_requests(std::string& received) {
    std::vector<instance_request> requests;
    std::size_t start = 0;
    for (std::size_t end; (end = received.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string_view line(received.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line == raise_word)
            requests.push_back({instance_request::kind::raise, {}});
        else if (line.starts_with(link_word))
            requests.push_back({instance_request::kind::open_link, std::string(line.substr(link_word.size()))});
        else if (line.starts_with(send_word))
            requests.push_back({instance_request::kind::send_draft, std::string(line.substr(send_word.size()))});
    }
    received.erase(0, start);
    return requests;
}

raise_listener::raise_listener(std::function<void()> raise, std::function<void(const std::string&)> open_link,
                               std::function<void(const std::string&)> send_draft, QObject* parent)
    : QObject(parent),
      server_(new QLocalServer(this)),
      raise_(std::move(raise)),
      open_link_(std::move(open_link)),
      send_draft_(std::move(send_draft)) {
    // Only one copy holds the lock, so a socket of this name is a leftover
    // of a crash.
    QLocalServer::removeServer(socket_name());
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socket_name()))
        qWarning("quillmere: a second start cannot bring this window to the front: %s",
                 qPrintable(server_->errorString()));
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) serve(client);
    });
}

void raise_listener::serve(QLocalSocket* client) {
    // Each client has its own bytes: a request may arrive in pieces.
    auto received = std::make_shared<std::string>();
    const auto read = [this, client, received] {
        const QByteArray bytes = client->readAll();
        received->append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        answer(take_requests(*received));
        if (received->size() > request_limit) {
            received->clear();
            client->abort();
        }
    };
    connect(client, &QLocalSocket::readyRead, this, read);
    connect(client, &QLocalSocket::disconnected, this, [read, client] {
        read();
        client->deleteLater();
    });
    if (client->bytesAvailable() > 0) read();
}

void raise_listener::answer(const std::vector<instance_request>& requests) {
    for (const instance_request& request : requests) {
        if (request.what == instance_request::kind::raise) {
            if (raise_) raise_();
        } else if (request.what == instance_request::kind::send_draft) {
            if (send_draft_) send_draft_(request.link);
        } else if (open_link_) {
            open_link_(request.link);
        } else if (raise_) {
            raise_();
        }
    }
}

}  // namespace qm
