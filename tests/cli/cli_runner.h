#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace qm::test {

struct cli_result {
    int status = -1;
    std::string out, err;
};

// quillmere-cli run from a shell, in UTC, with its data directory in `home` and its temporary
// directory (which also takes the stderr file) in `tmp`: `command` and `arguments` as the shell
// reads them, `input` on its standard input.
class cli_test : public ::testing::Test {
protected:
    explicit cli_test(std::string command = "") : command_(std::move(command)) {}
    cli_result run(const std::string& arguments, const std::string& input = "") {
        const std::string err_path = tmp / "stderr";
        const std::string line = "printf '%s' '" + input + "' | TZ=UTC0 QUILLMERE_HOME='" + home.path() + "' TMPDIR='" +
                                 tmp.path() + "' XDG_RUNTIME_DIR='" + tmp.path() + "' " + QUILLMERE_BINARY_DIR + "/quillmere-cli " + command_ + arguments +
                                 " 2>'" + err_path + "'";
        cli_result result;
        std::FILE* pipe = ::popen(line.c_str(), "r");
        if (!pipe) return result;
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) result.out.append(chunk, n);
        if (const int status = ::pclose(pipe); WIFEXITED(status)) result.status = WEXITSTATUS(status);
        result.err = read_bytes(err_path);
        return result;
    }
    // A run that must end with `status` (0: the default) and, when given, say `message` on its standard error.
    cli_result run_ok(const std::string& arguments, const std::string& input = "", int status = 0,
                      const std::string& message = "") {
        cli_result result = run(arguments, input);
        EXPECT_EQ(result.status, status) << arguments << ": " << result.err;
        EXPECT_NE(result.err.find(message), std::string::npos) << arguments << ": " << result.err;
        return result;
    }
    cli_result run_refused(const std::string& arguments, const std::string& message, int status = 1) {
        return run_ok(arguments, "", status, message);
    }
    temp_dir home, tmp;

private:
    std::string command_;
};

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace qm::test
