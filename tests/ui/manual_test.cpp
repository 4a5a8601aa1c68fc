// The manual command: quillmere.htm handed to xdg-open, found beside the
// program or where an installed copy keeps it.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/program_context.h"
#include "support/recording_program.h"
#include "support/test_support.h"
#include "ui/manual.h"

namespace qm::test {
namespace {

using runs = std::vector<std::vector<std::string>>;

class Manual : public ::testing::Test {
protected:
    Manual() : saved_(context()) {}
    ~Manual() override { set_context(saved_); }
    void run_from(const std::string& directory) {
        program_context moved = saved_;
        moved.executable_directory = sj(directory);
        set_context(moved);
    }

    temp_dir dir;
    recording_program opener{dir / "path/xdg-open", dir / "log"};
    scoped_env search{"PATH", (dir / "path:" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "")).c_str()};
    recording_reporter report;

private:
    program_context saved_;
};

TEST_F(Manual, HandsItsAbsolutePathToXdgOpen) {
    write_bytes(dir / "説明書 置き場/quillmere.htm", "<html></html>");
    run_from(dir / "説明書 置き場/");
    EXPECT_TRUE(open_manual(report));
    EXPECT_EQ(opener.wait_for_runs(1), (runs{{dir / "説明書 置き場/quillmere.htm"}}));

    // An installed copy: the program in bin/, the manual in share/quillmere/.
    write_bytes(dir / "usr/share/quillmere/quillmere.htm", "<html></html>");
    run_from(dir / "usr/bin/");
    EXPECT_TRUE(open_manual(report));
    EXPECT_EQ(opener.wait_for_runs(2),
              (runs{{dir / "usr/share/quillmere/quillmere.htm"}, {dir / "説明書 置き場/quillmere.htm"}}));
    EXPECT_TRUE(report.shown.empty());
}

TEST_F(Manual, SaysWhereItLookedWhenTheManualIsMissingAndASystemErrorWhenNoProgramStarts) {
    run_from(dir / "usr/bin/");
    EXPECT_FALSE(open_manual(report));
    EXPECT_EQ(report.texts(), std::vector<std::string>{"HTML版マニュアルが見つかりません. 次の場所を探しました:\n" +
                                                        dir / "usr/bin/quillmere.htm\n" +
                                                        dir / "usr/share/quillmere/quillmere.htm"});
    EXPECT_EQ(report.shown.front().first, message_kind::error);
    EXPECT_FALSE(exists(dir / "log"));

    report.shown.clear();
    write_bytes(dir / "prog/quillmere.htm", "<html></html>");
    run_from(dir / "prog/");
    scoped_env nowhere("PATH", (dir / "empty").c_str());
    EXPECT_FALSE(open_manual(report));
    EXPECT_EQ(report.texts(), std::vector<std::string>{"システムエラーが発生しました."});
    EXPECT_EQ(report.shown.front().first, message_kind::error);
}

}  // namespace
}  // namespace qm::test
