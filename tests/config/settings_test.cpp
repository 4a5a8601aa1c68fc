#include "config/settings.h"

#include <sys/stat.h>

#include "config/account_settings.h"
#include "store/accounts.h"
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
    recording_reporter report;
};

TEST_F(settings_test, colours_parse_as_red_green_blue_modulo_256) {
    for (auto [text, expected] : {std::pair<const char*, colour>{"10:20", 0x00140a}, {"300:0:0", 44}, {"", 0},
                                  {"-1:x:7", 0x0700ff}, {" 5abc:6:7:8", 0x070605}, {"1::3", 0x030001}})
        EXPECT_EQ(parse_color(text), expected) << text;
    EXPECT_EQ(format_color(parse_color("255:128:0")), "255:128:0");
    Settings s;
    s.back_ground = s.text_normal = 0x123456;
    set_default_colours(s);
    EXPECT_EQ(std::pair(s.back_ground, s.text_normal), std::pair(colour(0x400000), colour(0xffffff)));
}

TEST_F(settings_test, first_start_makes_the_mailbox_with_one_account) {
    Settings s;
    load_function_settings(s);
    const std::string mailbox = dir.cp("data/mailbox/");
    EXPECT_EQ(s.mailbox + mailbox_root(), mailbox + mailbox);
    EXPECT_FALSE(directory_exists(mailbox));  // loading makes nothing
    ASSERT_TRUE(ensure_mailbox(mailbox, report));
    EXPECT_EQ(list_accounts(mailbox), names{sj("標準アカウント")});
    current_account a = load_current_account(mailbox, sj("標準アカウント"));
    EXPECT_TRUE(a.pop_port == 110 && a.smtp_port == 25 && a.pop_remove && a.verify_certificate && a.name.empty());
    EXPECT_FALSE(a.pop_over_ssl || a.apop || a.smtp_over_ssl || a.smtp_auth);
    // An existing mailbox is left as it is, an empty one included; one that cannot be made is reported.
    ASSERT_TRUE(delete_account(mailbox, sj("標準アカウント")));
    EXPECT_TRUE(ensure_mailbox(mailbox, report) && list_names(dir / "data/mailbox").empty());
    EXPECT_FALSE(ensure_mailbox(dir.cp("data/quillmere.ini/box/"), report));
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
}

TEST_F(settings_test, the_mailbox_root_is_one_answer_whatever_the_setting_says) {
    for (auto [setting, root] : {std::pair<std::string, std::string>{"mail2/", dir.cp("data/mail2/")}, {"mail2", dir.cp("data/mail2/")},
                                 {"", dir.cp("data/mailbox/")}, {"sub\\box", dir.cp("data/sub/box/")},
                                 {"/elsewhere/box", "/elsewhere/box/"}}) {
        given("[string]\nmailbox=" + setting + "\n");
        EXPECT_EQ(mailbox_root(), root) << setting;
    }
    std::remove(file.c_str());
    EXPECT_EQ(mailbox_root(), dir.cp("data/mailbox/"));
}

TEST_F(settings_test, both_groups_load_back_as_saved) {
    ASSERT_TRUE(write_default_settings());
    Settings changed;
    changed.list_thread = true, changed.view_tree = false, changed.font_name = "Noto Sans", changed.font_size = -14;
    changed.font_weight = 700, changed.font_italic = true, changed.font_style = "Bold";
    changed.back_ground = parse_color("1:2:3"), changed.text_normal = parse_color("16:17:18");
    changed.arrange_at_receive = true, changed.tell_remain = false, changed.check_interval = 30;
    changed.mailbox = dir.cp("data/box/in/"), changed.text_viewer = "C:\\v", changed.keys = std::string("ABCDEFGHIJ\0", 11);
    ASSERT_TRUE(save_view_settings(changed, "") && save_function_settings(changed, ".exe"));
    // An empty header list stays empty: opening a mail then keeps no header.
    EXPECT_EQ(read_open_header_list(default_open_header) + read_dangerous_extensions(), ".exe");

    Settings s;
    load_view_settings(s);
    load_function_settings(s);
    EXPECT_EQ(std::tuple(s.list_thread, s.view_tree, s.font_name, s.font_size, s.font_weight, s.font_italic,
                         s.font_style, s.back_ground, s.text_normal),
              std::tuple(true, false, std::string("Noto Sans"), -14, 700, true, std::string("Bold"), 0x030201u,
                         0x121110u));
    EXPECT_EQ(std::tuple(s.arrange_at_receive, s.tell_remain, s.check_interval, s.mailbox, s.text_viewer, s.keys),
              std::tuple(true, false, 30, changed.mailbox, std::string("C:/v"), changed.keys));

    // The interval is kept within its range; a group that fails half-way writes none of its keys.
    given("[value]\ncheck interval=99999\n");
    load_function_settings(s);
    EXPECT_EQ(s.check_interval, max_check_interval);
    const std::string before = contents();
    changed.text_editor = "a\nb";
    EXPECT_FALSE(save_function_settings(changed, ""));
    EXPECT_EQ(contents(), before);
}

TEST_F(settings_test, the_windows_notepad_of_a_stored_setting_reads_as_the_bundled_one) {
    const std::string notepad = dir.cp("bin/quillmere-notepad");
    for (auto [stored, expected] : {std::pair<std::string, std::string>{"%WINDIR%\\notepad.exe", notepad},
                                    {"%windir%/NOTEPAD.EXE", notepad}, {"%WINDIR%\\notepad.exe -x", "%WINDIR%/notepad.exe -x"},
                                    {"/usr/bin/mousepad", "/usr/bin/mousepad"}}) {
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
    const program_context saved = context();
    ASSERT_EQ(init_context(), context_result::ok);
    // The work directory must not be what rewriting "quillmere.ini" calls its companion.
    EXPECT_NE(context().work_directory, dir.cp("quillmere.$$$/"));
    ASSERT_TRUE(make_work_directory(context().work_directory) && write_default_settings());
    Settings s;
    load_view_settings(s);
    s.list_thread = true;
    EXPECT_TRUE(save_view_settings(s, ""));
    load_view_settings(s);
    EXPECT_TRUE(s.list_thread);
    set_context(saved);
}

}  // namespace
}  // namespace qm::test
