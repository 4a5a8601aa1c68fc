#pragma once

namespace qm::cli {

// Each command gets the arguments after its name and returns the exit
// status: 0 on success, 1 when the work failed, 2 for a usage error.
using command_function = int (*)(int argc, char** argv);

struct command {
    const char* name;
    const char* usage;  // one line for --help
    command_function run;
};

}  // namespace qm::cli
