#pragma once

#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "net/connection.h"
#include "net/job.h"

namespace qm::test {

// A job whose body is a function, for tests of code that runs on a worker.
class function_job : public thread {
public:
    explicit function_job(std::function<net_result(thread&)> body) : body_(std::move(body)) {}
    ~function_job() override {
        request_cancel();
        close_handle();
    }

protected:
    void run() override { finish(body_(*this)); }

private:
    std::function<net_result(thread&)> body_;
};

// The progress dialog's part: takes every trace text (each also handed to
// `on_trace`) until the started job has finished; then joins it.
std::vector<std::string> take_traces(thread& job, const std::function<void(const std::string&)>& on_trace = {});

struct job_outcome {
    net_result result = net_result::cancelled;
    std::vector<std::string> traces;
    std::string trace_text() const { return std::accumulate(traces.begin(), traces.end(), std::string()); }
};
// Where a job's connection goes and how.
struct link_setup {
    std::string host = "127.0.0.1";
    int port = 0;
    bool ssl = false, trace = false, verify = true;
};
// Runs `body` as a job, as the user interface does, on a connection opened as `setup` says (a failed
// connect is the result, its error detail goes to `detail`), then closes it gently.
job_outcome run_connected(const link_setup& setup, const std::function<net_result(connection&, thread&)>& body,
                          std::string* detail = nullptr);

}  // namespace qm::test
