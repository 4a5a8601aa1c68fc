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
// happen), to open a mailto: link, or to send a draft (the editor's 送信),
// through a local socket of the user's own. A request is one line: "raise",
// "mailto " and the link, or "send " and the draft's directory (UTF-8).

// Asks the running copy to raise its window; true when it answered.
bool ask_running_instance_to_raise();
// Hands a mailto: link (one line, as the desktop gave it) to the running
// copy; true when the whole request was written.
bool hand_link_to_running_instance(std::string_view uri);
// Hands a draft's message directory (UTF-8) to the running copy to send.
bool hand_draft_to_running_instance(std::string_view directory);

// One request read from the socket.
struct instance_request {
    enum class kind { raise, open_link, send_draft } what;
    std::string link;  // the link, or the draft's directory
    bool operator==(const instance_request&) const = default;
};

// Takes the complete lines off the front of `received` and returns the
// requests among them; an unknown line is skipped, a partial one left for
// more bytes.
std::vector<instance_request> take_requests(std::string& received);

// Listens for such requests while the program runs and calls `raise`,
// `open_link` or `send_draft` for each.
class raise_listener : public QObject {
    Q_OBJECT
public:
    explicit raise_listener(std::function<void()> raise,
                            std::function<void(const std::string& link)> open_link = {},
                            std::function<void(const std::string& directory)> send_draft = {},
                            QObject* parent = nullptr);

private:
    void serve(QLocalSocket* client);
    void answer(const std::vector<instance_request>& requests);

    QLocalServer* server_;
    std::function<void()> raise_;
    std::function<void(const std::string&)> open_link_;
    std::function<void(const std::string&)> send_draft_;
};

}  // namespace qm
