#include "support/recording_program.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "support/test_support.h"

namespace qm::test {

recording_program::recording_program(std::string script_path, std::string log_path)
    : script_(std::move(script_path)), log_(std::move(log_path)) {
    // One run's record is appended in one write, so that runs at the same
    // time never interleave their lines.
    write_bytes(script_, "#!/bin/sh\nrecord=$(for a in \"$@\"; do printf '%s\\n' \"$a\"; done; echo --)\n"
                         "printf '%s\\n' \"$record\" >> '" + log_ + "'\n");
    ::chmod(script_.c_str(), 0755);
}

std::vector<std::vector<std::string>> recording_program::wait_for_runs(std::size_t runs) const {
    std::vector<std::vector<std::string>> found;
    for (int tries = 0; tries < 1000 && found.size() < runs; ++tries) {
        if (tries > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        found.assign(1, {});
        std::istringstream lines(read_bytes(log_));
        for (std::string line; std::getline(lines, line);) {
            if (line == "--") found.emplace_back();
            else found.back().push_back(line);
        }
        found.pop_back();  // a run still writing
    }
    // Programs started one after the other run at the same time: the order
    // in which they finish is not the order they were started in.
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace qm::test
