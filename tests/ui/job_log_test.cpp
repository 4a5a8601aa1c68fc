// The job dialog's log: capped, and cut at whole lines and characters. The
// dialog itself (Abort, Esc, a failure waiting for 閉じる, a trace, Shift
// held) the window's rounds show against their servers.

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "ui/job_log.h"

namespace qm::test {
namespace {

TEST(JobLog, DropsAtTheLimitCountingTheZeroAndALongerLineKeepsItsEndInWholeCharacters) {
    std::string log = "ab\r\n";
    EXPECT_FALSE(append_to_job_log(log, "cdefg", 11));  // 9 characters and the zero
    EXPECT_TRUE(append_to_job_log(log, "h", 11));  // 10 and the zero: the first line goes
    EXPECT_EQ(log, "cdefgh");
    std::string kanji;
    for (int i = 0; i < 40; ++i) kanji += sj("あ");
    log = "old\r\nx";
    EXPECT_TRUE(append_to_job_log(log, kanji, 21));
    EXPECT_EQ(log, kanji.substr(0, 20 - 2));  // 9 characters: 18 bytes and the zero below 21
}

}  // namespace
}  // namespace qm::test
