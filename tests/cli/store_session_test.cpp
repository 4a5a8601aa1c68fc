// What every command shares: the single-instance lock of the window.

#include "cli_runner.h"
#include "platform/instance_lock.h"

namespace qm::test {
namespace {

const std::string message = "From: a@example.com\r\nSubject: filed\r\n\r\nbody\r\n";

class CliStore : public cli_test {
protected:
    CliStore() { write_bytes(tmp / "m.eml", message); }
};

TEST_F(CliStore, WhileQuillmereRunsNothingIsChangedButListingWorks) {
    run_ok("import A " + tmp / "m.eml");
    scoped_env runtime("XDG_RUNTIME_DIR", tmp.path().c_str());
    instance_lock window;
    ASSERT_EQ(window.acquire(tmp.cp()), instance_lock::result::acquired);
    write_bytes(tmp / "quillmere.$$$/0.pop", message);  // the window's download, waiting to be filed
    for (const std::string& arguments : {"import A " + tmp / "m.eml", std::string("sync --all")}) {
        cli_result r = run(arguments);
        EXPECT_EQ(r.status, 1) << arguments;
        EXPECT_TRUE(contains(r.err, "Quillmere is running")) << r.err;
    }
    EXPECT_EQ(list_names(home / "mailbox/A/ 受信箱"), names{".0"});
    EXPECT_EQ(list_names(tmp / "quillmere.$$$"), names{"0.pop"});
    run_ok("list 'A/ 受信箱'");
    EXPECT_EQ(list_names(tmp / "quillmere.$$$"), names{"0.pop"});
}

}  // namespace
}  // namespace qm::test
