#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace qm::test {

// A server program with a private configuration, listening on free ports of
// 127.0.0.1, its output in a file. It ends with the test process (also on a
// crash) and is stopped (SIGTERM, then SIGKILL) when the object goes.
class daemon_process : non_copyable {
public:
    daemon_process(std::string output_file, std::string log_file)
        : output_file_(std::move(output_file)), log_file_(std::move(log_file)) {}
    ~daemon_process() { stop(); }

    // Picks `port_count` free ports, has `configure` (if any) write the configuration
    // for them ("" or why not), starts `command` and waits until every port accepts
    // connections (retrying with new ports when one was taken meanwhile). "" when
    // the server runs, else why not.
    std::string start(std::size_t port_count, const std::function<std::string(const std::vector<int>&)>& configure,
                      const std::vector<std::string>& command);
    void stop();
    bool running() const { return pid_ > 0; }
    int port(std::size_t index) const { return index < ports_.size() ? ports_[index] : 0; }
    // Runs a helper command to its end (output in the output file); whether it exited with 0.
    bool run(const std::vector<std::string>& command) const;
    std::string log() const;  // the program's output, then its log file

private:
    std::string output_file_, log_file_;
    std::vector<int> ports_;
    pid_t pid_ = -1;
};

// The first of the paths that is an executable program; "" when none is.
std::string find_program(std::initializer_list<const char*> candidates);
// A configuration file of tests/data/servers/ with each "@NAME@" replaced by its value.
std::string filled_template(const std::string& name, const std::map<std::string, std::string>& values);
// The failure text of a server that did not start, with its logs.
std::string start_failure(const std::string& server, const std::string& why, const std::string& log);

}  // namespace qm::test
