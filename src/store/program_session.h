#pragma once

#include <string>

#include "config/layout.h"
#include "config/settings.h"
#include "platform/instance_lock.h"
#include "platform/reporter.h"

namespace qm {

// The start and the end that the window and the command-line program share:
// the single-instance lock and the work directory, and for the window the
// settings and layout files and the clean-up of the viewer copies. The
// program context (init_context) must be set before.

// How a start ended, and so which box the window shows before it exits 0.
enum class session_start {
    ok,
    already_running,  // another copy holds the lock: exit at once, silently
    system_error,     // "システムエラーが発生しました.": the lock cannot be taken
    file_error,       // "ファイルの読み書きに失敗しました.": a directory or file cannot be made
};

class program_session {
public:
    // Who runs: the window also deletes the viewer copies ("qlm_*") at its
    // end; a command of the command-line program makes none and leaves them.
    enum class owner { window, command };

    explicit program_session(owner who = owner::window) : owner_(who) {}
    // Ends the session when it is still active.
    ~program_session();
    program_session(const program_session&) = delete;
    program_session& operator=(const program_session&) = delete;

    // The first steps: takes the lock ($XDG_RUNTIME_DIR, else the temporary
    // directory), then makes the work directory unless it exists (one left by
    // a crash is used as it is). When another copy runs, nothing is touched.
    // On any failure the lock is not kept.
    session_start begin();

    // The window's whole start: begin(); "quillmere.ini" and
    // "layout.ini" written with their defaults where missing; the view and
    // function settings loaded; the mailbox they name made with its first
    // account when it is missing (open_mailbox); the layout loaded. When a
    // step after begin() fails, the work directory is removed if it is
    // empty, the lock is released and file_error is returned: the window
    // shows that box and exits (no window can run without its mailbox).
    session_start start(Settings& settings, Layout& layout);

    // The end: removes the work directory with everything in it,
    // unless downloaded mail waits in it for the next run
    // (remove_work_directory_if_done); the window's session then deletes the
    // viewer copies of the temporary directory; last, releases the lock.
    // Failures are not reported: whatever a deletion left stays. Does
    // nothing when the session is not active.
    void end();

    bool active() const { return active_; }

private:
    // The work directory when empty, and the lock: after a failed start.
    void abandon();

    owner owner_;
    instance_lock lock_;
    bool active_ = false;
};

// Loads the function group of the settings and opens the mailbox they name,
// making it with its first account "標準アカウント" when it does not exist:
// its root, or "" after the reporter was told why not.
std::string open_mailbox(Settings& settings, reporter& report);

}  // namespace qm
