#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/companion_file.h"
#include "platform/instance_lock.h"
#include "platform/local_time.h"
#include "platform/string_table.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::scoped_env;
using test::temp_dir;

TEST(InstanceLock, ASecondCopyIsTurnedAway) {
    temp_dir dir;
    scoped_env runtime("XDG_RUNTIME_DIR", dir.path().c_str());
    instance_lock first;
    ASSERT_EQ(first.acquire(dir.cp()), instance_lock::result::acquired);

    // Another process sees the lock taken.
    pid_t child = ::fork();
    if (child == 0) {
        instance_lock second;
        ::_exit(second.acquire(dir.cp()) == instance_lock::result::already_running ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    first.release();
    instance_lock third;
    EXPECT_EQ(third.acquire(dir.cp()), instance_lock::result::acquired);
}

TEST(InstanceLock, FallsBackToTheGivenDirectory) {
    temp_dir dir;
    scoped_env runtime("XDG_RUNTIME_DIR", nullptr);
    instance_lock lock;
    ASSERT_EQ(lock.acquire(dir.cp()), instance_lock::result::acquired);
    EXPECT_TRUE(test::exists(dir / ("Quillmere-" + std::to_string(::getuid()) + ".lock")));
    instance_lock nowhere;
    EXPECT_EQ(nowhere.acquire(dir.cp("missing/")), instance_lock::result::failed);
}

TEST(LocalTime, OffsetFollowsTheZoneAndDaylightSaving) {
    struct zone {
        const char* tz;
        int january, july;
    };
    for (zone z : {zone{"Asia/Tokyo", 540, 540}, zone{"UTC", 0, 0}, zone{"America/New_York", -300, -240},
                   zone{"Asia/Kolkata", 330, 330}, zone{"Canada/Newfoundland", -210, -150}}) {
        scoped_env tz("TZ", z.tz);
        ::tzset();
        EXPECT_EQ(local_utc_offset_minutes(1704067200), z.january) << z.tz;  // 2024-01-01
        EXPECT_EQ(local_utc_offset_minutes(1719792000), z.july) << z.tz;     // 2024-07-01
    }
    ::tzset();
}

TEST(StringTable, TextsComeAsCp932AndMissingOnesAsQuestionMark) {
    EXPECT_EQ(load_string(str::title_error), test::sj("エラー"));
    EXPECT_EQ(load_string(str::file_error), test::sj("ファイルの読み書きに失敗しました."));
    EXPECT_EQ(load_string(str::product_name), "Quillmere");
    EXPECT_EQ(load_string(str::folder_inbox), test::sj(" 受信箱"));
    EXPECT_EQ(load_string(99999), "?");
    EXPECT_EQ(load_string(-1), "?");
}

TEST(CompanionFile, NamesAndFailedRewrites) {
    EXPECT_EQ(companion_path("a/b/arrange.lst"), "a/b/arrange.$$$");
    EXPECT_EQ(companion_path("a/b.d/status"), "a/b.d/status.$$$");
    EXPECT_EQ(companion_path("a/x.tar.gz"), "a/x.$$$");
    EXPECT_EQ(companion_path("a/.7/0"), "a/.7/0.$$$");

    temp_dir dir;
    test::write_bytes(dir / "list.lst", "old\r\n");
    EXPECT_TRUE(rewrite_through_companion(dir.cp("list.lst"), [](text_writer& w) { return w.write("new\n"); }));
    EXPECT_EQ(test::read_bytes(dir / "list.lst"), "new\r\n");

    // A fill that fails, and a companion that cannot be created: the file is
    // untouched and no companion stays.
    EXPECT_FALSE(rewrite_through_companion(dir.cp("list.lst"), [](text_writer& w) {
        w.write("half");
        return false;
    }));
    EXPECT_EQ(test::read_bytes(dir / "list.lst"), "new\r\n");
    ::mkdir((dir / "list.$$$").c_str(), 0700);
    EXPECT_FALSE(rewrite_through_companion(dir.cp("list.lst"), [](text_writer& w) { return w.write("x\n"); }));
    EXPECT_EQ(test::read_bytes(dir / "list.lst"), "new\r\n");
    ::rmdir((dir / "list.$$$").c_str());
    EXPECT_EQ(test::list_names(dir.path()), std::vector<std::string>{"list.lst"});
}

}  // namespace
}  // namespace qm
