#pragma once

#include <cstdio>
#include <string>

#include <sys/wait.h>

#include "support/test_support.h"

namespace qm::test {

struct cli_result {
    int status = -1;
    std::string out, err;
};

// Runs quillmere-cli from a shell, in UTC, with `arguments` as the shell
// reads them, its data directory in `home`, its temporary directory in `tmp`
// (which also takes the stderr file) and `input` on its standard input.
inline cli_result run_cli(const temp_dir& home, const temp_dir& tmp, const std::string& arguments,
                          const std::string& input = "") {
    const std::string err_path = tmp / "stderr";
    const std::string command = "printf '%s' '" + input + "' | TZ=UTC0 QUILLMERE_HOME='" + home.path() +
                                "' TMPDIR='" + tmp.path() + "' " + QUILLMERE_BINARY_DIR + "/quillmere-cli " +
                                arguments + " 2>'" + err_path + "'";
    cli_result result;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) result.out.append(chunk, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = read_bytes(err_path);
    return result;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace qm::test
