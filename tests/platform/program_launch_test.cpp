#include "platform/program_launch.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "support/recording_program.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::sj;
using words = std::vector<std::string>;

// Children of this process that ended and were never waited for.
int zombie_children() {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::string stat = test::read_bytes(entry.path().string() + "/stat");
        char state = 0;
        int parent = 0;
        std::size_t close = stat.rfind(')');
        if (close != std::string::npos && std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2)
            count += parent == ::getpid() && state == 'Z';
    }
    return count;
}

TEST(CommandWords, SplitAsAShellWouldWithoutRunningOne) {
    const std::pair<std::string_view, std::optional<words>> rows[] = {
        {"  viewer\t-r  ", words{"viewer", "-r"}},
        {"'/opt/my viewer/bin' \"a b\" c\\ d", words{"/opt/my viewer/bin", "a b", "c d"}},
        {"'it''s' \"x\\\"y\\$z\\q\" '\\n'", words{"its", "x\"y$z\\q", "\\n"}},
        {"a\"b\"'c'd \"\" $HOME *.txt ;| one\\\ntwo", words{"abcd", "", "$HOME", "*.txt", ";|", "onetwo"}},
        {"", words{}}, {"'open", std::nullopt}, {"\"open", std::nullopt}, {"trailing\\", std::nullopt}};
    for (const auto& [text, expected] : rows) EXPECT_EQ(split_command_words(text), expected) << text;
}

TEST(CommandWords, VariablesAreExpandedAndBatchFilesRefused) {
    test::scoped_env name("QM_VIEWER_DIR", "/opt/表示");
    test::scoped_env unset("QM_NOT_SET", nullptr);
    // An unknown name stays with both its signs and leaves the next one alone.
    EXPECT_EQ(expand_environment("%QM_VIEWER_DIR%/bin %QM_NOT_SET%%QM_VIEWER_DIR% 100%"),
              sj("/opt/表示/bin %QM_NOT_SET%/opt/表示 100%"));
    for (std::string_view word : {"run.bat", "C:/X/RUN.BAT", "tool.Com"}) EXPECT_TRUE(is_refused_program(word));
    for (std::string_view word : {"viewer", "batch.exe", "bat", "x.comx"}) EXPECT_FALSE(is_refused_program(word));
}

TEST(StartProgram, TheDocumentIsOneArgumentWhateverItHolds) {
    test::temp_dir dir;
    test::recording_program viewer(dir / "my viewer", dir / "log");
    test::recording_program opener(dir / "bin/xdg-open", dir / "log");
    test::scoped_env tools("QM_TOOLS", dir.path().c_str());
    test::scoped_env search("PATH", (dir / "bin:" + std::string(getenv("PATH") ? getenv("PATH") : "")).c_str());
    const std::string document = "/tmp/a b \"c\" 'd' $X 表.txt";

    // Arguments, a variable and quotes; a path with a blank named whole; no
    // program (xdg-open). Each waits for the run before, to keep the order.
    ASSERT_TRUE(start_program("'%QM_TOOLS%my viewer' -r \"two words\"", sj(document)));
    ASSERT_EQ(viewer.wait_for_runs(1).size(), 1u);
    ASSERT_TRUE(start_program(sj(viewer.path()), sj(document)));
    ASSERT_EQ(viewer.wait_for_runs(2).size(), 2u);
    ASSERT_TRUE(start_program("  ", sj(document)));
    EXPECT_EQ(viewer.wait_for_runs(3), (std::vector<words>{{"-r", "two words", document}, {document}, {document}}));
    for (int tries = 0; tries < 500 && zombie_children() > 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(zombie_children(), 0);

    test::recording_program batch(dir / "run.BAT", dir / "log");
    for (const std::string& refused : {dir.cp("run.BAT"), "'" + dir.cp("my viewer"), dir.cp("missing")})
        EXPECT_FALSE(start_program(refused, sj(document))) << refused;
}

}  // namespace
}  // namespace qm
