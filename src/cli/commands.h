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

// The program context for a command: the data directory ($QUILLMERE_HOME,
// ...), the temporary and work directories. False (after a message on
// stderr) when a directory cannot be found or made.
bool prepare_context();

}  // namespace qm::cli
