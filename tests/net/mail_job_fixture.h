#pragma once

#include <functional>
#include <numeric>
#include <string>

#include "net/mail_jobs.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace qm::test {

// The send and receive jobs as the window starts them, with their work directory, against a scripted server.
class mail_job_test : public ::testing::Test {
protected:
    // A receive of alice's mail (password "s3cret") into the work directory, with its UID list there.
    void prepare(thread_pop& job, const script_server& server, const char* host = "127.0.0.1") {
        job.download_prefix = dir_.cp();
        job.pop_server = host;
        job.port = server.port();
        job.user_id = "alice";
        job.password = "s3cret";
        job.uid_list_path = dir_.cp("uid.lst");
        job.trace = true;
    }
    // A send of the work directory's queue, greeting as alice, without a login.
    void prepare(thread_smtp& job, const script_server& server, const char* host = "127.0.0.1") {
        job.queue_directory = dir_.cp();
        job.smtp_server = host;
        job.port = server.port();
        job.greeting_name = "alice";
        job.trace = true;
    }
    // Starts the job and takes its traces (each also to `on_trace`) until it ends; its result.
    net_result run(mail_job& job, const std::function<void(const std::string&)>& on_trace = {}) {
        EXPECT_TRUE(job.start());
        const names traces = take_traces(job, on_trace);
        trace_ = std::accumulate(traces.begin(), traces.end(), std::string());
        message_ = u8(job_result_message(job));
        detail_ = job.error_detail();
        return job.result();
    }

    temp_dir dir_;
    std::string trace_, message_, detail_;  // the whole trace, the result's message (UTF-8), the error detail
};

}  // namespace qm::test
