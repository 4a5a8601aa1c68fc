#include "config/settings.h"

#include <sys/stat.h>

#include "config_test.h"
#include "platform/file_operations.h"
#include "platform/work_directory.h"

namespace qm::test {
namespace {

// The data directory "data/" apart from the program's own "bin/".
struct settings_test : data_directory_test {
    settings_test() : data_directory_test("data/quillmere.ini") {
        set_context({dir.cp("data/"), dir.cp(), dir.cp(), dir.cp("bin/")});
        make_directory(dir.cp("data/"));
    }
};

TEST_F(settings_test, colours_parse_as_red_green_blue_modulo_256) {
    for (auto [text, expected] : {std::pair<const char*, colour>{"10:20", 0x00140a}, {"300:0:0", 44}, {"", 0},
                                  {"-1:x:7", 0x0700ff}, {" 5abc:6:7:8", 0x070605}, {"1::3", 0x030001}})
        EXPECT_EQ(parse_color(text), expected) << text;
}

TEST_F(settings_test, the_mailbox_root_is_one_answer_whatever_the_setting_says) {
    for (auto [setting, root] : {std::pair<std::string, std::string>{"mail2/", dir.cp("data/mail2/")}, {"mail2", dir.cp("data/mail2/")},
                                 {"", dir.cp("data/mailbox/")}, {"sub\\box", dir.cp("data/sub/box/")}}) {
        given("[string]\nmailbox=" + setting + "\n");
        EXPECT_EQ(mailbox_root(), root) << setting;
    }
}

TEST_F(settings_test, the_view_group_loads_back_as_saved) {
    Settings changed;
    changed.list_thread = true, changed.view_tree = false, changed.font_name = "Noto Sans", changed.font_size = -14;
    changed.font_weight = 700, changed.font_italic = true, changed.back_ground = parse_color("1:2:3");
    ASSERT_TRUE(save_view_settings(changed, ""));
    Settings s;
    load_view_settings(s);
    EXPECT_EQ(std::tuple(s.list_thread, s.view_tree, s.font_name, s.font_size, s.font_weight, s.font_italic, s.back_ground),
              std::tuple(true, false, std::string("Noto Sans"), -14, 700, true, 0x030201u));
}

TEST_F(settings_test, the_interval_stays_in_range_and_a_group_that_fails_half_way_writes_none_of_its_keys) {
    given("[value]\ncheck interval=99999\n");
    Settings s;
    load_function_settings(s);
    EXPECT_EQ(s.check_interval, max_check_interval);
    s.text_editor = "a\nb";
    EXPECT_FALSE(save_function_settings(s, ".exe"));
    EXPECT_EQ(contents(), crlf("[value]\ncheck interval=99999\n"));
}

TEST_F(settings_test, the_windows_notepad_of_a_stored_setting_reads_as_the_bundled_one) {
    const std::string notepad = dir.cp("bin/quillmere-notepad");
    for (auto [stored, expected] : {std::pair<std::string, std::string>{"%WINDIR%\\notepad.exe", notepad},
                                    {"%windir%/NOTEPAD.EXE", notepad}, {"%WINDIR%\\notepad.exe -x", "%WINDIR%/notepad.exe -x"}}) {
        given("[string]\ntext viewer=" + stored + "\ntext editor=" + stored + "\n");
        Settings s;
        load_function_settings(s);
        EXPECT_EQ(std::pair(s.text_viewer, s.text_editor), std::pair(expected, expected)) << stored;
    }
}

TEST(SettingsBesideTheWorkDirectory, ATemporaryDirectoryThatIsTheDataDirectoryKeepsTheSettingsWritable) {
    temp_dir dir;
    ::chmod(dir.path().c_str(), 0700);
    scoped_env home("QUILLMERE_HOME", dir.path().c_str()), ram("TMP_RAM", dir.path().c_str());
    const saved_context saved;
    ASSERT_EQ(init_context(), context_result::ok);
    // The work directory must not be what rewriting "quillmere.ini" calls its companion.
    EXPECT_NE(context().work_directory, dir.cp("quillmere.$$$/"));
    EXPECT_TRUE(make_work_directory(context().work_directory) && write_default_settings() && save_view_settings(Settings{}, ""));
}

}  // namespace
}  // namespace qm::test
