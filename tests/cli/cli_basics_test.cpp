#include <gtest/gtest.h>

#include "cli_runner.h"

namespace qm::test {
namespace {

TEST(CliBasics, VersionHelpAndUnknownCommands) {
    temp_dir home, tmp;
    cli_result version = run_cli(home, tmp, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quillmere-cli 3.0.1\n");
    cli_result help = run_cli(home, tmp, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: quillmere-cli")) << help.out;

    cli_result unknown = run_cli(home, tmp, "frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(contains(unknown.err, "unknown command")) << unknown.err;
    EXPECT_EQ(run_cli(home, tmp, "").status, 2);
}

}  // namespace
}  // namespace qm::test
