#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct run_result {
    int status;
    std::string output;
};

run_result run_cli(const std::string& arguments) {
    std::string command = std::string(QUILLMERE_BINARY_DIR) + "/quillmere-cli " + arguments + " 2>&1";
    run_result result{-1, {}};
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, n);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(CliBasics, VersionHelpAndUnknownCommands) {
    run_result version = run_cli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "quillmere-cli 3.0.1\n");

    run_result help = run_cli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: quillmere-cli"), std::string::npos);

    run_result unknown = run_cli("frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("unknown command"), std::string::npos);
    EXPECT_EQ(run_cli("").status, 2);
}

}  // namespace
