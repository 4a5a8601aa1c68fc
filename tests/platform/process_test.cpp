#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/companion_file.h"
#include "platform/instance_lock.h"
#include "platform/program_launch.h"
#include "support/recording_program.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

TEST(InstanceLock, ASecondCopyIsTurnedAway) {
    temp_dir dir;
    scoped_env no_runtime("XDG_RUNTIME_DIR", nullptr);
    instance_lock first, nowhere, second, third;
    {   // The runtime directory comes first; without one the given directory holds the lock.
        scoped_env runtime("XDG_RUNTIME_DIR", dir.path().c_str());
        ASSERT_EQ(first.acquire(dir.cp("missing/")), instance_lock::result::acquired);
    }
    EXPECT_EQ(nowhere.acquire(dir.cp("missing/")), instance_lock::result::failed);
    // Each acquisition opens the file anew, so that a second one sees the lock taken as another process does
    // (the store session test runs the commands against a lock the test holds).
    EXPECT_EQ(second.acquire(dir.cp()), instance_lock::result::already_running);
    first.release();
    EXPECT_EQ(third.acquire(dir.cp()), instance_lock::result::acquired);
}

// (A companion that cannot be made is met by the tests of every file that is rewritten through one.)
TEST(CompanionFile, NamesAndAFillThatFails) {
    for (auto [path, companion] : {std::pair{"a/b/arrange.lst", "a/b/arrange.$$$"}, {"a/b.d/status", "a/b.d/status.$$$"},
                                   {"a/x.tar.gz", "a/x.$$$"}, {"a/.7/0", "a/.7/0.$$$"}})
        EXPECT_EQ(companion_path(path), companion);
    temp_dir dir;
    write_bytes(dir / "list.lst", "old\r\n");
    EXPECT_FALSE(rewrite_through_companion(dir.cp("list.lst"), [](text_writer& w) { w.write("half"); return false; }));
    EXPECT_TRUE(list_names(dir.path()) == names{"list.lst"} && read_bytes(dir / "list.lst") == "old\r\n");
}

// Whether a child of this process ended and was never waited for (it stays unwaited).
bool zombie_child() {
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

TEST(CommandWords, SplitAsAShellWouldExpandedAndBatchFilesRefused) {
    const std::pair<std::string_view, std::optional<names>> rows[] = {
        {"  viewer\t-r  ", names{"viewer", "-r"}},
        {"'/opt/my viewer/bin' \"a b\" c\\ d", names{"/opt/my viewer/bin", "a b", "c d"}},
        {"'it''s' \"x\\\"y\\$z\\q\" '\\n'", names{"its", "x\"y$z\\q", "\\n"}},
        {"a\"b\"'c'd \"\" $HOME *.txt ;| one\\\ntwo", names{"abcd", "", "$HOME", "*.txt", ";|", "onetwo"}},
        {"", names{}}, {"'open", std::nullopt}, {"\"open", std::nullopt}, {"trailing\\", std::nullopt}};
    for (const auto& [text, expected] : rows) EXPECT_EQ(split_command_words(text), expected) << text;

    for (std::string_view word : {"run.bat", "C:/X/RUN.BAT", "tool.Com"}) EXPECT_TRUE(is_refused_program(word));
    for (std::string_view word : {"viewer", "batch.exe", "bat", "x.comx"}) EXPECT_FALSE(is_refused_program(word));
}

TEST(StartProgram, TheDocumentIsOneArgumentWhateverItHolds) {
    temp_dir dir;
    recording_program viewer(dir / "my viewer", dir / "log"), opener(dir / "bin/xdg-open", dir / "log");
    scoped_env tools("QM_TOOLS", dir.path().c_str());
    scoped_env search("PATH", (dir / "bin:" + std::string(getenv("PATH") ? getenv("PATH") : "")).c_str());
    const std::string document = "/tmp/a b \"c\" 'd' $X 表.txt";

    // Arguments, a variable and quotes; a path with a blank named whole; no program (xdg-open). One at a
    // time, so that the log holds them in order.
    const std::string commands[] = {"'%QM_TOOLS%my viewer' -r \"two words\"", sj(viewer.path()), "  "};
    for (std::size_t n = 0; n < 3; ++n)
        ASSERT_TRUE(start_program(commands[n], sj(document)) && viewer.wait_for_runs(n + 1).size() == n + 1) << commands[n];
    EXPECT_EQ(viewer.wait_for_runs(3), (std::vector<names>{{"-r", "two words", document}, {document}, {document}}));
    for (int tries = 0; tries < 500 && zombie_child(); ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(zombie_child());

    recording_program batch(dir / "run.BAT", dir / "log");
    EXPECT_FALSE(start_program(dir.cp("run.BAT"), sj(document)) || start_program(dir.cp("missing"), sj(document)));

    // xdg-open that finds no program for the document says so at once: that is a failure. One that
    // stays (it runs the program it found) is a start.
    for (auto [script, starts] : {std::pair{"#!/bin/sh\nexit 3\n", false}, {"#!/bin/sh\nsleep 5\n", true}}) {
        std::filesystem::remove(dir / "bin/xdg-open");
        write_bytes(dir / "bin/xdg-open", script);
        ::chmod((dir / "bin/xdg-open").c_str(), 0755);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(start_program("", sj(document)), starts) << script;
        EXPECT_LT(std::chrono::steady_clock::now() - started, opener_failure_wait + std::chrono::seconds(1));
    }
}

}  // namespace
}  // namespace qm::test
