#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "net/result_codes.h"

namespace qm {

// The job object shared by a worker thread and the user interface. The two
// sides talk only through its state word:
//   0 running, 1 trace text waiting, 2 cancel requested, 3 finished.
// Every change is made under the job's mutex; reads are atomic. The user
// interface polls the state (a 10 ms timer) and never blocks on the worker.
//
// The job kinds derive from it and implement run(). A derived class whose
// run() uses its own members must stop the worker in its own destructor
// (request_cancel(), then close_handle()): the base destructor joins too,
// but only after the derived part is gone.
class thread {
public:
    thread();
    virtual ~thread();  // asks a worker that still runs to stop and joins it
    thread(const thread&) = delete;
    thread& operator=(const thread&) = delete;

    // Runs run() on a new worker thread. When the thread cannot be started the
    // job is finished at once with connect_failed, and the answer is false.
    bool start();
    net_result close_handle();  // joins the worker, returns the result
    net_result result() const;
    void request_cancel();  // unless finished or already cancelled
    bool cancel_requested() const;
    bool is_finished() const;

    // Worker side: hands one trace text to the user interface and waits until it
    // was taken or the job is cancelled; returns at once unless the state is
    // "running".
    void show_trace(std::string_view text);

    // User-interface side.
    bool trace_waiting() const;
    std::string trace_text() const;  // the waiting text (valid while trace_waiting())
    void trace_taken();

    // How far the dialogue is: messages done out of total, total -1 until
    // the server has said how many there are. The worker sets it, the user
    // interface shows it.
    struct progress_count {
        int done = 0;
        int total = -1;
    };
    progress_count progress() const;
    void set_progress(int done, int total);  // worker side

    static constexpr int state_running = 0, state_trace_waiting = 1, state_cancel_requested = 2,
                         state_finished = 3;
    int state() const { return state_.load(); }

protected:
    virtual void run() = 0;  // the job body, on the worker thread
    void finish(net_result code);   // worker side: result and state "finished"

private:
    void run_worker();

    std::thread worker_;
    mutable std::mutex mutex_;
    std::condition_variable state_changed_;
    std::atomic<int> state_{state_running};
    std::atomic<net_result> result_{net_result::ok};
    std::string trace_text_;  // guarded by mutex_
    progress_count progress_;  // guarded by mutex_
};

}  // namespace qm
