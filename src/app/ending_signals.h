#pragma once

#include <QObject>

class QSocketNotifier;

namespace qm {

// SIGTERM and SIGHUP (the session ending, a `kill`) end the program as a
// close would, minus the questions: nobody is there to answer them. The
// signal handler only writes a byte into a pipe; the event loop reads it and
// emits `ending`.
class ending_signals : public QObject {
    Q_OBJECT
public:
    explicit ending_signals(QObject* parent = nullptr);
    ~ending_signals() override;

signals:
    void ending();

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace qm
