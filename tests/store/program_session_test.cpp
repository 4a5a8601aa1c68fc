#include <filesystem>

#include "platform/program_context.h"
#include "store/program_session.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// Data in "data/", temporary files in "tmp/", and a runtime directory of its own for the lock.
class ProgramSession : public ::testing::Test {
protected:
    ProgramSession() {
        for (const char* made : {"data", "tmp", "run"}) fs::create_directories(dir / made);
        use_directories("data/", "tmp/");
    }
    void use_directories(const std::string& data, const std::string& temporary) {
        set_context({dir.cp(data), dir.cp(temporary), dir.cp(temporary + "quillmere.$$$/"), dir.cp(data)});
    }

    const saved_context saved;
    temp_dir dir;
    scoped_env runtime{"XDG_RUNTIME_DIR", (dir / "run").c_str()};
    Settings settings_;
    Layout layout_;
};

// Present files and mailbox are used as they are; a second copy ends silently and touches nothing.
TEST_F(ProgramSession, PresentFilesAreLeftAsTheyAreAndASecondCopyTouchesNothing) {
    write_bytes(dir / "data/quillmere.ini", "[string]\r\nmailbox=elsewhere\r\n[switch]\r\nview tree=-\r\n");
    write_bytes(dir / "data/layout.ini", "[value]\r\nsize x=900\r\n");
    fs::create_directories(dir / "data/elsewhere/mine");
    write_bytes(dir / "tmp/quillmere.$$$/0.pop", "left by a crash");
    const auto data = tree_snapshot(dir / "data");
    program_session first;
    ASSERT_EQ(first.start(settings_, layout_), session_start::ok);
    EXPECT_EQ(tree_snapshot(dir / "data"), data);
    EXPECT_TRUE(!settings_.view_tree && settings_.mailbox == dir.cp("data/elsewhere/") && layout_.size_x == 900);
    write_bytes(dir / "tmp/qlm_0000.TXT", "shown in the viewer");
    fs::remove(dir / "data/layout.ini");  // a second start would write it
    const auto data_now = tree_snapshot(dir / "data"), temporary = tree_snapshot(dir / "tmp");
    EXPECT_EQ(program_session().start(settings_, layout_), session_start::already_running);
    EXPECT_EQ(std::pair(tree_snapshot(dir / "data"), tree_snapshot(dir / "tmp")), std::pair(data_now, temporary));
    write_bytes(dir / "tmp/quillmere.$$$/3.smt", "prepared");
    first.end();  // the download keeps the work directory for the next run; another copy can start
    EXPECT_EQ(list_names(dir / "tmp/quillmere.$$$"), names{"0.pop"});
    EXPECT_EQ(list_names(dir / "tmp"), names{"quillmere.$$$"});
    EXPECT_EQ(program_session().begin(), session_start::ok);
}

TEST_F(ProgramSession, TheEndRemovesTheWorkDirectoryAndTheViewerCopiesUnlessACommandRan) {
    // A command leaves the viewer copies; begin() makes no settings file, the command reads them as they are.
    program_session command(program_session::owner::command);
    ASSERT_EQ(command.begin(), session_start::ok);
    write_bytes(dir / "tmp/qlm_0000.TXT", "copy");
    command.end();
    EXPECT_EQ(std::pair(list_names(dir / "tmp"), list_names(dir / "data")), std::pair(names{"qlm_0000.TXT"}, names{}));
    {   // (What a first start makes is met through the end-to-end first start.)
        program_session window;
        ASSERT_EQ(window.start(settings_, layout_), session_start::ok);
        write_bytes(dir / "tmp/quillmere.$$$/draft/1", "scratch");
        write_bytes(dir / "tmp/quillmere.$$$/3.smt", "prepared");
        for (const char* name : {"qlm_0001.HTM", "LIB_0000.TMP", "QLM_0002.TXT", "xqlm_1"}) write_bytes(dir / ("tmp/" + std::string(name)), name);
    }
    EXPECT_EQ(list_names(dir / "tmp"), (names{"LIB_0000.TMP", "QLM_0002.TXT", "xqlm_1"}));  // only the viewer's copies go
}

TEST_F(ProgramSession, FailuresNameTheirBoxAndKeepNoLockNorWorkDirectory) {
    write_bytes(dir / "file", "");
    const std::string mailbox_in_a_file = "[string]\r\nmailbox=" + (dir / "file/mailbox") + "\r\n";
    const std::tuple<const char*, const char*, const char*, std::string, session_start> cases[] = {
        {"missing", "data/", "tmp/", "", session_start::system_error},       // the lock cannot be taken
        {"run", "data/", "file/", "", session_start::file_error},           // nor the work directory made
        {"run", "file/", "tmp/", "", session_start::file_error},            // nor the settings written
        {"run", "data/", "tmp/", mailbox_in_a_file, session_start::file_error},  // nor the mailbox made
    };
    for (const auto& [runtime_dir, data, temporary, settings_file, expected] : cases) {
        scoped_env lock_place("XDG_RUNTIME_DIR", (dir / runtime_dir).c_str());
        use_directories(data, temporary);
        if (!settings_file.empty()) write_bytes(dir / "data/quillmere.ini", settings_file);
        program_session session;
        EXPECT_EQ(session.start(settings_, layout_), expected) << data << temporary;
        EXPECT_FALSE(session.active() || exists(dir / "tmp/quillmere.$$$")) << data << temporary;
        EXPECT_TRUE(!settings_file.empty() || list_names(dir / "data").empty()) << data << temporary;
    }
    use_directories("data/", "tmp/");
    EXPECT_EQ(program_session().begin(), session_start::ok);  // no failure kept the lock
}

}  // namespace
}  // namespace qm::test
