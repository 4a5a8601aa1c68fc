#pragma once

#include <QObject>
#include <functional>

class QLocalServer;

namespace qm {

// A second start of Quillmere asks the running one to come to the front
// (minimized or on another desktop, the user would otherwise see nothing
// happen) through a local socket of the user's own.

// Asks the running copy to raise its window; true when it answered.
bool ask_running_instance_to_raise();

// Listens for such requests while the program runs and calls `raise` for
// each.
class raise_listener : public QObject {
    Q_OBJECT
public:
    explicit raise_listener(std::function<void()> raise, QObject* parent = nullptr);

private:
    QLocalServer* server_;
    std::function<void()> raise_;
};

}  // namespace qm
