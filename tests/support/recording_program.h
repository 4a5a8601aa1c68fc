#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace qm::test {

// A shell script standing in for a program the core starts (viewer, editor,
// xdg-open): each run appends its arguments to a log, one a line, then "--".
class recording_program {
public:
    // UTF-8 paths. One run's record is appended in one write, so that runs at the same time never
    // interleave their lines.
    recording_program(std::string script_path, std::string log_path)
        : script_(std::move(script_path)), log_(std::move(log_path)) {
        write_bytes(script_, "#!/bin/sh\nrecord=$(for a in \"$@\"; do printf '%s\\n' \"$a\"; done; echo --)\n"
                             "printf '%s\\n' \"$record\" >> '" + log_ + "'\n");
        ::chmod(script_.c_str(), 0755);
    }
    const std::string& path() const { return script_; }
    // The argument lists of the runs ended so far, sorted, once there are
    // `runs` of them or ten seconds have passed. (Programs started one after the other run at the
    // same time: the order in which they finish is not the order they were started in.)
    std::vector<std::vector<std::string>> wait_for_runs(std::size_t runs) const {
        std::vector<std::vector<std::string>> found;
        wait_until([&] {
            found.assign(1, {});
            std::istringstream lines(read_bytes(log_));
            for (std::string line; std::getline(lines, line);)
                if (line == "--") found.emplace_back();
                else found.back().push_back(line);
            found.pop_back();  // a run still writing
            return found.size() >= runs;
        }, std::chrono::seconds(10));
        std::ranges::sort(found);
        return found;
    }

private:
    std::string script_, log_;
};

}  // namespace qm::test
