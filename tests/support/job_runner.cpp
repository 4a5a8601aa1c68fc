#include "support/job_runner.h"

#include <chrono>

namespace qm::test {

function_job::~function_job() {
    request_cancel();
    close_handle();
}

void function_job::run() { finish(body_(*this)); }

std::string job_outcome::trace_text() const {
    std::string joined;
    for (const auto& text : traces) joined += text;
    return joined;
}

job_outcome run_job(std::function<int(thread&)> body) {
    function_job job(std::move(body));
    job_outcome outcome;
    job.start();
    // The progress dialog's timer, ticking faster to keep the tests quick.
    while (!job.is_finished()) {
        if (job.trace_waiting()) {
            outcome.traces.push_back(job.trace_text());
            job.trace_taken();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    outcome.result = job.close_handle();
    return outcome;
}

}  // namespace qm::test
