#include "support/job_runner.h"

#include <chrono>

#include "net/result_codes.h"

namespace qm::test {

std::vector<std::string> take_traces(thread& job, const std::function<void(const std::string&)>& on_trace) {
    std::vector<std::string> traces;
    // The dialog's timer, ticking faster to keep the tests quick.
    for (; !job.is_finished(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
        for (; job.trace_waiting(); job.trace_taken()) {
            traces.push_back(job.trace_text());
            if (on_trace) on_trace(traces.back());
        }
    job.close_handle();
    return traces;
}

job_outcome run_connected(const link_setup& setup, const std::function<net_result(connection&, thread&)>& body,
                          std::string* detail) {
    function_job job([&](thread& self) {
        connection link(setup.trace);
        link.set_verify_certificate(setup.verify);
        net_result code = link.connect_server(self, setup.host, setup.port, false, setup.ssl);
        if (detail) *detail = link.error_detail();
        if (code != net_result::ok) return code;
        code = body(link, self);
        link.close_gently();
        return code;
    });
    job.start();
    job_outcome outcome{.traces = take_traces(job)};
    outcome.result = job.result();
    return outcome;
}

}  // namespace qm::test
