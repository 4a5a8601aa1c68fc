#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace qm {

// A second start of Quillmere asks the running one to come to the front
// (minimized or on another desktop, the user would otherwise see nothing
// happen), or to open a mailto: link, through a local socket of the user's
// own. A request is one line: "raise", or "mailto " and the link.

// Asks the running copy to raise its window; true when it answered.
bool ask_running_instance_to_raise();
// Hands a mailto: link (one line, as the desktop gave it) to the running
// copy; true when the whole request was written.
bool hand_link_to_running_instance(std::string_view uri);

// One request read from the socket.
struct instance_request {
    enum class kind { raise, open_link } what;
    std::string link;
    bool operator==(const instance_request&) const = default;
};

// Takes the complete lines off the front of `received` and returns the
// requests among them; an unknown line is skipped, a partial one left for
// more bytes.
std::vector<instance_request> take_requests(std::string& received);

// Listens for such requests while the program runs and calls `raise` or
// `open_link` for each.
class raise_listener : public QObject {
    Q_OBJECT
public:
    explicit raise_listener(std::function<void()> raise,
                            std::function<void(const std::string& link)> open_link = {},
                            QObject* parent = nullptr);

private:
    void serve(QLocalSocket* client);
    void answer(const std::vector<instance_request>& requests);

    QLocalServer* server_;
    std::function<void()> raise_;
    std::function<void(const std::string&)> open_link_;
};

}  // namespace qm
