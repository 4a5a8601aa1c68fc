#pragma once

#include <string>
#include <vector>

namespace qm::test {

// A shell script standing in for a program the core starts (viewer, editor,
// xdg-open): each run appends its arguments to a log, one a line, then "--".
class recording_program {
public:
    recording_program(std::string script_path, std::string log_path);  // UTF-8 paths
    const std::string& path() const { return script_; }
    // The argument lists of the runs ended so far, sorted, once there are
    // `runs` of them or ten seconds have passed.
    std::vector<std::vector<std::string>> wait_for_runs(std::size_t runs) const;

private:
    std::string script_, log_;
};

}  // namespace qm::test
