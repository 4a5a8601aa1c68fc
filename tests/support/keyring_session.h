#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/daemon_process.h"
#include "support/test_support.h"

namespace qm::test {

// A private Secret Service for the lifetime of the object: a dbus-daemon of
// its own (tests/data/servers/dbus-session.conf, which activates no service)
// and "gnome-keyring-daemon --components=secrets" on it, whose login keyring
// is created and unlocked at start from a password on its standard input, so
// that storing into the default collection asks nothing (a prompt could not
// be shown on this bus: it would fail at once, not wait).
//
// The test process is pointed at it: DBUS_SESSION_BUS_ADDRESS, and HOME and
// the XDG directories (data, config, cache, runtime) in a temporary directory
// that takes the keyring's files; all are restored when it goes. Both daemons
// stop then (SIGTERM, then SIGKILL) and end with the test process.
//
// GDBus keeps the first session bus a process connects to, and libsecret its
// service: one session per test process (under ctest each TEST is one).
class keyring_session {
public:
    keyring_session();

    // Whether the keyring answers with its default collection unlocked; else failure() says why.
    bool running() const { return failure_.empty() && bus_.running() && keyring_.running(); }
    const std::string& failure() const { return failure_; }
    static bool installed();  // whether dbus-daemon and gnome-keyring-daemon are installed

    std::string log() const;  // both daemons' output

private:
    std::string start();

    temp_dir directory_;
    std::vector<std::unique_ptr<scoped_env>> environment_;
    std::string address_, failure_;
    // Declared last: the keyring stops before its bus, both before the
    // environment is restored and the directory goes.
    daemon_process bus_, keyring_;
};

}  // namespace qm::test
