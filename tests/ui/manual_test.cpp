// The manual command: quillmere.htm handed to xdg-open, found beside the
// program or where an installed copy keeps it.

#include <cstdlib>

#include "entry_dialog_test.h"
#include "support/recording_program.h"
#include "ui/manual.h"

namespace qm::test {
namespace {

class Manual : public data_directory_test {
protected:
    recording_program opener{dir / "path/xdg-open", dir / "log"};
    scoped_env search{"PATH", (dir / "path:" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "")).c_str()};
};

TEST_F(Manual, HandsItsAbsolutePathToXdgOpenAndSaysWhereItLooked) {
    write_bytes(dir / "説明書 置き場/quillmere.htm", "<html></html>");
    run_from(dir / "説明書 置き場/");
    EXPECT_TRUE(open_manual(report));
    // An installed copy: the program in bin/, the manual in share/quillmere/.
    run_from(dir / "usr/bin/");
    EXPECT_FALSE(open_manual(report));
    write_bytes(dir / "usr/share/quillmere/quillmere.htm", "<html></html>");
    EXPECT_TRUE(open_manual(report));
    EXPECT_EQ(opener.wait_for_runs(2), (std::vector<names>{{dir / "usr/share/quillmere/quillmere.htm"},
                                                           {dir / "説明書 置き場/quillmere.htm"}}));
    EXPECT_EQ(report.texts(), names{"HTML版マニュアルが見つかりません. 次の場所を探しました:\n" + dir / "usr/bin/quillmere.htm\n" +
                                    dir / "usr/share/quillmere/quillmere.htm"});
}

}  // namespace
}  // namespace qm::test
