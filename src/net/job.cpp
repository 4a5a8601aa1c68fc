#include "net/job.h"

#include <chrono>
#include <new>
#include <system_error>

#include "net/result_codes.h"

namespace qm {

namespace {
constexpr std::chrono::milliseconds trace_wait_step{10};
}

thread::thread() = default;

thread::~thread() {
    if (worker_.joinable()) {
        request_cancel();
        worker_.join();
    }
}

bool thread::start() {
    if (worker_.joinable()) return false;  // one worker per job
    {
        std::lock_guard lock(mutex_);
        state_ = state_running;
    }
    try {
        worker_ = std::thread([this] { run_worker(); });
    } catch (const std::system_error&) {
        finish(net_result::connect_failed);
        return false;
    }
    return true;
}

void thread::run_worker() {
    try {
        run();
    } catch (const std::bad_alloc&) {
        finish(net_result::no_memory);
    }
    // A body that returned without a result still ends the job, so that the
    // user interface never waits for it forever.
    if (!is_finished()) finish(result());
}

net_result thread::close_handle() {
    if (worker_.joinable()) worker_.join();
    return result();
}

net_result thread::result() const { return result_.load(); }

void thread::request_cancel() {
    std::lock_guard lock(mutex_);
    // Checked under the lock: a worker finishing at this moment must not have
    // its "finished" overwritten.
    int current = state_.load();
    if (current == state_finished || current == state_cancel_requested) return;
    state_ = state_cancel_requested;
    state_changed_.notify_all();
}

bool thread::cancel_requested() const { return state_.load() == state_cancel_requested; }

bool thread::is_finished() const { return state_.load() == state_finished; }

void thread::show_trace(std::string_view text) {
    std::unique_lock lock(mutex_);
    if (state_.load() != state_running) return;
    trace_text_.assign(text);
    state_ = state_trace_waiting;
    while (state_.load() == state_trace_waiting) state_changed_.wait_for(lock, trace_wait_step);
}

bool thread::trace_waiting() const { return state_.load() == state_trace_waiting; }

std::string thread::trace_text() const {
    std::lock_guard lock(mutex_);
    return trace_text_;
}

void thread::trace_taken() {
    std::lock_guard lock(mutex_);
    if (state_.load() != state_trace_waiting) return;
    state_ = state_running;
    state_changed_.notify_all();
}

thread::progress_count thread::progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

void thread::set_progress(int done, int total) {
    std::lock_guard lock(mutex_);
    progress_ = {done, total};
}

void thread::finish(net_result code) {
    std::lock_guard lock(mutex_);
    result_ = code;
    state_ = state_finished;
    state_changed_.notify_all();
}

}  // namespace qm
