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
        fs::create_directories(dir / "data");
        fs::create_directories(dir / "tmp");
        fs::create_directories(dir / "run");
        use_directories("data/", "tmp/");
    }
    ~ProgramSession() override {
        set_context(saved_context);
        settings() = saved_settings;
    }
    void use_directories(const std::string& data, const std::string& temporary) {
        set_context({dir.cp(data), dir.cp(temporary), dir.cp(temporary + "quillmere.$$$/"), dir.cp(data)});
    }
    bool work_directory_left() const { return exists(dir / "tmp/quillmere.$$$"); }

    temp_dir dir;
    scoped_env runtime{"XDG_RUNTIME_DIR", (dir / "run").c_str()};
    const program_context saved_context = context();
    const Settings saved_settings = settings();
    Settings settings_;
    Layout layout_;
};

TEST_F(ProgramSession, AFirstStartMakesTheSettingsTheLayoutAndTheFirstAccountOnly) {
    program_session session;
    ASSERT_EQ(session.start(settings_, layout_), session_start::ok);
    EXPECT_TRUE(session.active());
    EXPECT_EQ(list_names(dir / "data"), (names{"layout.ini", "mailbox", "quillmere.ini"}));
    EXPECT_EQ(list_names(dir / "data/mailbox"), names{"標準アカウント"});
    EXPECT_EQ(list_names(dir / "data/mailbox/標準アカウント"), (names{" ごみ箱", " 受信箱", " 送信箱", "account.ini"}));
    EXPECT_EQ(list_names(dir / "tmp/quillmere.$$$"), names{});
    // The settings and the layout are loaded: the defaults just written.
    EXPECT_EQ(settings_.mailbox, dir.cp("data/mailbox/"));
    EXPECT_EQ(u8(layout_.current), "標準アカウント/");
    session.end();
    EXPECT_FALSE(session.active());
    EXPECT_FALSE(work_directory_left());
    EXPECT_EQ(list_names(dir / "tmp"), names{});
}

TEST_F(ProgramSession, PresentFilesAndMailboxAreLeftAsTheyAre) {
    write_bytes(dir / "data/quillmere.ini", "[string]\r\nmailbox=elsewhere\r\n[switch]\r\nview tree=-\r\n");
    write_bytes(dir / "data/layout.ini", "[value]\r\nsize x=900\r\n");
    fs::create_directories(dir / "data/elsewhere/mine");
    write_bytes(dir / "tmp/quillmere.$$$/0.pop", "left by a crash");  // used as it is
    const auto data = tree_snapshot(dir / "data");
    program_session session;
    ASSERT_EQ(session.start(settings_, layout_), session_start::ok);
    EXPECT_EQ(tree_snapshot(dir / "data"), data);
    EXPECT_FALSE(settings_.view_tree);
    EXPECT_EQ(settings_.mailbox, dir.cp("data/elsewhere/"));
    EXPECT_EQ(layout_.size_x, 900);
    EXPECT_EQ(list_names(dir / "tmp/quillmere.$$$"), names{"0.pop"});
}

TEST_F(ProgramSession, ASecondCopyEndsSilentlyAndTouchesNothing) {
    program_session first;
    ASSERT_EQ(first.start(settings_, layout_), session_start::ok);
    write_bytes(dir / "tmp/quillmere.$$$/scratch", "the first copy's");
    write_bytes(dir / "tmp/qlm_0000.TXT", "shown in the viewer");
    fs::remove(dir / "data/layout.ini");  // a second start would write it
    const auto data = tree_snapshot(dir / "data");
    const auto temporary = tree_snapshot(dir / "tmp");
    {
        program_session second;
        Settings other_settings;
        Layout other_layout;
        EXPECT_EQ(second.start(other_settings, other_layout), session_start::already_running);
        EXPECT_FALSE(second.active());
        EXPECT_EQ(second.begin(), session_start::already_running);
        program_session command(program_session::owner::command);
        EXPECT_EQ(command.begin(), session_start::already_running);
        second.end();
    }
    EXPECT_EQ(tree_snapshot(dir / "data"), data);
    EXPECT_EQ(tree_snapshot(dir / "tmp"), temporary);
    // Once the first copy has ended, another can start.
    first.end();
    program_session third;
    EXPECT_EQ(third.begin(), session_start::ok);
}

TEST_F(ProgramSession, TheEndRemovesTheWorkDirectoryAndTheViewerCopiesUnlessMailWaitsOrACommandRan) {
    // Downloaded mail keeps the work directory for the next run.
    program_session session;
    ASSERT_EQ(session.begin(), session_start::ok);
    write_bytes(dir / "tmp/quillmere.$$$/0.pop", "a message not filed yet");
    write_bytes(dir / "tmp/quillmere.$$$/3.smt", "prepared");
    write_bytes(dir / "tmp/qlm_0000.TXT", "copy");
    session.end();
    EXPECT_EQ(list_names(dir / "tmp/quillmere.$$$"), names{"0.pop"});
    EXPECT_EQ(list_names(dir / "tmp"), names{"quillmere.$$$"});
    session.end();  // a second end does nothing
    EXPECT_EQ(list_names(dir / "tmp/quillmere.$$$"), names{"0.pop"});
    fs::remove_all(dir / "tmp/quillmere.$$$");

    // A command leaves the viewer copies; begin() makes no settings file, the command reads them as they are.
    program_session command(program_session::owner::command);
    ASSERT_EQ(command.begin(), session_start::ok);
    write_bytes(dir / "tmp/qlm_0000.TXT", "copy");
    command.end();
    EXPECT_EQ(list_names(dir / "tmp"), names{"qlm_0000.TXT"});
    EXPECT_EQ(list_names(dir / "data"), names{});
    {
        program_session window;
        ASSERT_EQ(window.start(settings_, layout_), session_start::ok);
        write_bytes(dir / "tmp/quillmere.$$$/draft/1", "scratch");
        write_bytes(dir / "tmp/quillmere.$$$/3.smt", "prepared");
        write_bytes(dir / "tmp/qlm_0001.HTM", "copy");
        write_bytes(dir / "tmp/LIB_0000.TMP", "not a viewer copy");
    }  // the session ends with the object
    EXPECT_FALSE(work_directory_left());
    EXPECT_EQ(list_names(dir / "tmp"), names{"LIB_0000.TMP"});
}

TEST_F(ProgramSession, FailuresNameTheirBoxAndKeepNoLock) {
    {
        // The lock cannot be taken: a runtime directory that is missing.
        scoped_env missing("XDG_RUNTIME_DIR", (dir / "missing").c_str());
        program_session session;
        EXPECT_EQ(session.start(settings_, layout_), session_start::system_error);
        EXPECT_FALSE(session.active());
    }
    EXPECT_EQ(list_names(dir / "data"), names{});
    EXPECT_FALSE(work_directory_left());

    // The work directory cannot be made: the temporary directory is a file.
    write_bytes(dir / "file", "");
    use_directories("data/", "file/");
    {
        program_session session;
        EXPECT_EQ(session.start(settings_, layout_), session_start::file_error);
        EXPECT_EQ(list_names(dir / "data"), names{});
    }

    // The settings cannot be written: the data directory is a file. The empty work directory goes again.
    use_directories("file/", "tmp/");
    {
        program_session session;
        EXPECT_EQ(session.start(settings_, layout_), session_start::file_error);
        EXPECT_FALSE(work_directory_left());
    }
    // The mailbox cannot be made: the setting names a place inside a file.
    use_directories("data/", "tmp/");
    write_bytes(dir / "data/quillmere.ini", "[string]\r\nmailbox=" + (dir / "file/mailbox") + "\r\n");
    {
        program_session session;
        EXPECT_EQ(session.start(settings_, layout_), session_start::file_error);
        EXPECT_FALSE(work_directory_left());
    }
    // No failure kept the lock.
    program_session session;
    EXPECT_EQ(session.begin(), session_start::ok);
}

TEST_F(ProgramSession, OpenMailboxReportsWhatFails) {
    write_bytes(dir / "file", "");
    write_bytes(dir / "data/quillmere.ini", "[string]\r\nmailbox=" + (dir / "file/mailbox") + "\r\n");
    recording_reporter report;
    EXPECT_EQ(open_mailbox(settings_, report), "");
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    write_bytes(dir / "data/quillmere.ini", "[string]\r\nmailbox=box\r\n");
    EXPECT_EQ(open_mailbox(settings_, report), dir.cp("data/box/"));
    EXPECT_EQ(list_names(dir / "data/box"), names{"標準アカウント"});
}

}  // namespace
}  // namespace qm::test
