#include "app/running_instance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include "platform/instance_lock.h"
#include "platform/program_context.h"

namespace qm {

namespace {

constexpr int answer_wait_ms = 1000;
const char raise_request[] = "raise\n";

// Beside the single-instance lock, in a directory only the user can enter,
// so that nobody else's copy answers.
QString socket_name() {
    const std::string path = instance_file_path(context().temporary_directory, "sock");
    return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
}

}  // namespace

bool ask_running_instance_to_raise() {
    QLocalSocket socket;
    socket.connectToServer(socket_name());
    if (!socket.waitForConnected(answer_wait_ms)) return false;
    socket.write(raise_request);
    socket.waitForBytesWritten(answer_wait_ms);
    socket.disconnectFromServer();
    return true;
}

raise_listener::raise_listener(std::function<void()> raise, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), raise_(std::move(raise)) {
    // Only one copy holds the lock, so a socket of this name is a leftover
    // of a crash.
    QLocalServer::removeServer(socket_name());
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socket_name()))
        qWarning("quillmere: a second start cannot bring this window to the front: %s",
                 qPrintable(server_->errorString()));
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains("raise")) raise_();
            });
        }
    });
}

}  // namespace qm
