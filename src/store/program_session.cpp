#include "store/program_session.h"

#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "platform/work_directory.h"
#include "store/accounts.h"
#include "store/viewer_copies.h"

namespace qm {

namespace {

// Swallows what it is told: the window's start shows one box for the
// failure it returns.
class quiet_reporter : public reporter {
public:
    bool show(message_kind, std::string_view) override { return false; }
};

}  // namespace

program_session::~program_session() { end(); }

session_start program_session::begin() {
    end();
    switch (lock_.acquire(context().temporary_directory)) {
        case instance_lock::result::acquired: break;
        case instance_lock::result::already_running: return session_start::already_running;
        case instance_lock::result::failed: return session_start::system_error;
    }
    if (!make_work_directory(context().work_directory)) {
        lock_.release();
        return session_start::file_error;
    }
    active_ = true;
    return session_start::ok;
}

session_start program_session::start(Settings& settings, Layout& layout) {
    if (session_start started = begin(); started != session_start::ok) return started;
    if (!write_default_settings() || !write_default_layout()) {
        abandon();
        return session_start::file_error;
    }
    load_view_settings(settings);
    quiet_reporter quiet;
    if (open_mailbox(settings, quiet).empty()) {
        abandon();
        return session_start::file_error;
    }
    load_layout(layout);
    return session_start::ok;
}

void program_session::end() {
    if (!active_) return;
    active_ = false;
    remove_work_directory_if_done(context().work_directory);
    if (owner_ == owner::window) delete_viewer_copies(context().temporary_directory);
    lock_.release();
}

void program_session::abandon() {
    active_ = false;
    remove_directory(context().work_directory);
    lock_.release();
}

std::string open_mailbox(Settings& settings, reporter& report) {
    load_function_settings(settings);
    return ensure_mailbox(settings.mailbox, report) ? settings.mailbox : std::string();
}

}  // namespace qm
