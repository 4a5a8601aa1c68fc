#pragma once

#include <functional>
#include <string>
#include <vector>

#include "net/job.h"

namespace qm::test {

// A job whose body is a function, for tests of code that runs on a worker.
class function_job : public thread {
public:
    explicit function_job(std::function<int(thread&)> body) : body_(std::move(body)) {}
    ~function_job() override;

protected:
    void run() override;

private:
    std::function<int(thread&)> body_;
};

// The part of the user interface a test needs: starts the job, takes every
// trace text as the progress dialog does (in order) and returns when the job
// has finished.
struct job_outcome {
    int result = -1;
    std::vector<std::string> traces;
    std::string trace_text() const;  // all traces joined
};
job_outcome run_job(std::function<int(thread&)> body);

}  // namespace qm::test
