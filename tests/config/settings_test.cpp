#include "config/settings.h"

#include <sys/stat.h>

#include "config/account_settings.h"
#include "config/layout.h"
#include "config/option_checks.h"
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

TEST_F(settings_test, first_start_writes_exactly_the_defaults_in_order) {
    const std::string notepad = dir.path() + "bin/quillmere-notepad";
    ASSERT_TRUE(write_default_settings());
    EXPECT_EQ(contents(),
              crlf(sj("[switch]\nlist thread=-\nview tree=+\nview preview=+\narrange at receive=-\narrange at send=-\n"
                      "arrange at terminate=-\ntell remain=+\nclear trash=-\n[value]\ncheck interval=0\n[string]\n"
                      "open header=Bcc,Cc,Date,From,Reply-To,Resent-,Sender,Subject,To,X-Mailer\nmailbox=" +
                      dir.path() + "data/mailbox/\ntext viewer=" + notepad + "\ntext editor=" + notepad +
                      "\ndangerous extension=.bat.cmd.com.exe.lnk.pif.reg.scr\n"
                      "[font]\nname=ＭＳ ゴシック\nsize=-12\npoint=9\nbold=400\nitalic=-\nstyle=標準\n[color]\n"
                      "back ground=0:0:64\nback text=0:0:255\ntext directory=0:255:255\ntext search=0:255:0\n"
                      "text new=255:255:0\ntext normal=255:255:255\n[key]\nselect account=D\nopen menu mail=F\n"
                      "make directory=K\nmake mail=N\nmark all=A\nconnect=C\nconnect round=M\narrange=G\n"
                      "clear trash=T\nopen menu sort=S\nsearch=R\n")));
}

TEST_F(settings_test, colours_parse_as_red_green_blue_modulo_256) {
    for (auto [text, expected] : {std::pair<const char*, colour>{"10:20", 0x00140a}, {"300:0:0", 44}, {"", 0},
                                  {"0:0:64", 0x400000}, {"-1:x:7", 0x0700ff}, {" 5abc:6:7:8", 0x070605},
                                  {"1::3", 0x030001}})
        EXPECT_EQ(parse_color(text), expected) << text;
    EXPECT_EQ(format_color(parse_color("255:128:0")), "255:128:0");

    Settings s;
    s.back_ground = s.text_normal = 0x123456;
    set_default_colours(s);
    EXPECT_EQ((std::vector<colour>{s.back_ground, s.back_text, s.text_directory, s.text_search, s.text_new,
                                   s.text_normal}),
              (std::vector<colour>{0x400000, 0xff0000, 0xffff00, 0x00ff00, 0x00ffff, 0xffffff}));
}

TEST_F(settings_test, first_start_makes_the_mailbox_with_one_account) {
    Settings s;
    load_function_settings(s);
    std::string mailbox = dir.cp("data/mailbox/");
    EXPECT_EQ(s.mailbox, mailbox);
    EXPECT_EQ(mailbox_root(), mailbox);
    EXPECT_FALSE(directory_exists(mailbox));  // loading makes nothing
    ASSERT_TRUE(ensure_mailbox(mailbox, report));
    EXPECT_EQ(list_accounts(mailbox), names{sj("標準アカウント")});
    current_account a = load_current_account(mailbox, sj("標準アカウント"));
    EXPECT_TRUE(a.pop_port == 110 && a.smtp_port == 25 && a.pop_remove && a.verify_certificate && a.name.empty());
    EXPECT_FALSE(a.pop_over_ssl || a.apop || a.smtp_over_ssl || a.smtp_auth);

    // An existing mailbox is left as it is, an empty one included.
    ASSERT_TRUE(delete_account(mailbox, sj("標準アカウント")));
    EXPECT_TRUE(ensure_mailbox(mailbox, report));
    EXPECT_TRUE(list_names(dir / "data/mailbox").empty());

    // A mailbox that cannot be made is reported.
    EXPECT_FALSE(ensure_mailbox(dir.cp("data/quillmere.ini/box/"), report));
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
}

TEST_F(settings_test, the_mailbox_root_is_one_answer_whatever_the_setting_says) {
    for (auto [setting, root] : {std::pair<const char*, const char*>{"mail2/", "data/mail2/"}, {"mail2", "data/mail2/"},
                                 {"", "data/mailbox/"}, {"sub\\box", "data/sub/box/"}}) {
        given(std::string("[string]\nmailbox=") + setting + "\n");
        EXPECT_EQ(mailbox_root(), dir.cp(root)) << setting;
    }
    given("[string]\nmailbox=/elsewhere/box\n");
    EXPECT_EQ(mailbox_root(), "/elsewhere/box/");
    std::remove(file.c_str());
    EXPECT_EQ(mailbox_root(), dir.cp("data/mailbox/"));
}

// Every key of both groups away from its default.
Settings changed_settings(const std::string& mailbox) {
    Settings s;
    s.list_thread = true, s.view_tree = false, s.view_preview = false;
    s.font_name = "Noto Sans", s.font_size = -14, s.font_point = 10, s.font_weight = 700, s.font_italic = true;
    s.font_style = "Bold";
    s.back_ground = parse_color("1:2:3"), s.back_text = parse_color("4:5:6"), s.text_directory = parse_color("7:8:9");
    s.text_search = parse_color("10:11:12"), s.text_new = parse_color("13:14:15"), s.text_normal = parse_color("16:17:18");
    s.arrange_at_receive = s.arrange_at_send = s.arrange_at_terminate = true;
    s.tell_remain = false, s.clear_trash = true, s.check_interval = 30;
    s.mailbox = mailbox, s.text_viewer = "C:\\v", s.text_editor = "e";
    s.keys = std::string("ABCDEFGHIJ\0", 11);
    return s;
}

TEST_F(settings_test, both_groups_are_written_in_the_file_order_and_load_back) {
    ASSERT_TRUE(write_default_settings());
    const Settings changed = changed_settings(dir.cp("data/box/in/"));
    ASSERT_TRUE(save_view_settings(changed, ""));
    ASSERT_TRUE(save_function_settings(changed, ".exe"));
    EXPECT_EQ(contents(),
              crlf("[switch]\nlist thread=+\nview tree=-\nview preview=-\narrange at receive=+\narrange at send=+\n"
                   "arrange at terminate=+\ntell remain=-\nclear trash=+\n[value]\ncheck interval=30\n[string]\n"
                   "open header=\nmailbox=" + dir.path() + "data/box/in/\ntext viewer=C:/v\ntext editor=e\n"
                   "dangerous extension=.exe\n[font]\nname=Noto Sans\nsize=-14\npoint=10\nbold=700\nitalic=+\n"
                   "style=Bold\n[color]\nback ground=1:2:3\nback text=4:5:6\ntext directory=7:8:9\n"
                   "text search=10:11:12\ntext new=13:14:15\ntext normal=16:17:18\n[key]\nselect account=A\n"
                   "open menu mail=B\nmake directory=C\nmake mail=D\nmark all=E\nconnect=F\nconnect round=G\n"
                   "arrange=H\nclear trash=I\nopen menu sort=J\nsearch=\n"));
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

    // The interval is kept within its range; a group that fails half-way
    // writes none of its keys.
    given("[value]\ncheck interval=99999\n");
    load_function_settings(s);
    EXPECT_EQ(s.check_interval, max_check_interval);
    const std::string before = contents();
    Settings bad = changed;
    bad.text_editor = "a\nb";
    EXPECT_FALSE(save_function_settings(bad, ""));
    EXPECT_EQ(contents(), before);
}

TEST_F(settings_test, the_windows_notepad_of_a_stored_setting_reads_as_the_bundled_one) {
    const std::string notepad = dir.cp("bin/quillmere-notepad");
    for (auto [stored, expected] : {std::pair<std::string, std::string>{"%WINDIR%\\notepad.exe", notepad},
                                    {"%windir%/NOTEPAD.EXE", notepad}, {"%WinDir%\\Notepad.exe", notepad},
                                    {"%WINDIR%\\notepad.exe -x", "%WINDIR%/notepad.exe -x"},
                                    {"C:\\WINDOWS\\notepad.exe", "C:/WINDOWS/notepad.exe"},
                                    {"/usr/bin/mousepad", "/usr/bin/mousepad"}}) {
        given("[string]\ntext viewer=" + stored + "\ntext editor=" + stored + "\n");
        Settings s;
        load_function_settings(s);
        EXPECT_EQ(std::pair(s.text_viewer, s.text_editor), std::pair(expected, expected)) << stored;
    }
    // Saved again, the setting names the bundled program.
    given("[string]\ntext viewer=%WINDIR%\\notepad.exe\n");
    Settings s;
    load_function_settings(s);
    ASSERT_TRUE(save_function_settings(s, ""));
    EXPECT_NE(contents().find("\r\ntext viewer=" + notepad + "\r\n"), std::string::npos);
}

TEST(SettingsBesideTheWorkDirectory, ATemporaryDirectoryThatIsTheDataDirectoryKeepsTheSettingsWritable) {
    temp_dir dir;
    ::chmod(dir.path().c_str(), 0700);
    scoped_env home("QUILLMERE_HOME", dir.path().c_str()), ram("TMP_RAM", dir.path().c_str());
    const program_context saved = context();
    ASSERT_EQ(init_context(), context_result::ok);
    // The work directory must not be what rewriting "quillmere.ini" calls its companion.
    EXPECT_NE(context().work_directory, dir.cp("quillmere.$$$/"));
    ASSERT_TRUE(make_work_directory(context().work_directory));
    ASSERT_TRUE(write_default_settings());
    Settings s;
    load_view_settings(s);
    s.list_thread = true;
    EXPECT_TRUE(save_view_settings(s, ""));
    load_view_settings(s);
    EXPECT_TRUE(s.list_thread);
    set_context(saved);
}

struct layout_test : data_directory_test {
    layout_test() : data_directory_test("layout.ini") {}
};

TEST_F(layout_test, defaults_are_written_once_and_whole) {
    ASSERT_TRUE(write_default_layout());
    EXPECT_EQ(contents(),
              crlf(sj("[value]\nposition x=0\nposition y=0\nsize x=780\nsize y=560\nwidth attribute=54\n"
                      "width date=96\nwidth sender=158\nwidth subject=226\nwidth size=48\nwidth thread=60\n"
                      "sort column=1\nwidth tree=0.20\nheight preview=0.30\n[switch]\nmaximize=-\nsort direction=-\n"
                      "[directory]\ncurrent=標準アカウント/\nmark1=\nmark2=\nmark3=\nmark4=\nmark5=\nmark6=\nmark7=\n"
                      "mark8=\nmark9=\nmark10=\nmark11=\nmark12=\n")));

    // An existing file is never rewritten; a failure leaves no file, not even part of one.
    write_bytes(file, "[value]\r\nsize x=1\r\n");
    ASSERT_TRUE(write_default_layout());
    EXPECT_EQ(contents(), "[value]\r\nsize x=1\r\n");
    std::remove(file.c_str());
    ASSERT_TRUE(make_directory(dir.cp("layout.$$$")));
    EXPECT_FALSE(write_default_layout());
    EXPECT_FALSE(exists(file));
}

TEST_F(layout_test, loading_repairs_ratios_and_separators) {
    Layout layout;
    load_layout(layout);
    EXPECT_EQ(std::tuple(layout.size_x, layout.column_width[2], layout.tree_ratio, layout.previous),
              std::tuple(780, 158, 0.20f, sj("標準アカウント/")));

    for (auto [tree, expected] : {std::pair{"1.5", 0.20f}, {"1.0", 0.20f}, {"0.999", 0.999f}, {"0", 0.0f},
                                  {"-0.5", 0.20f}, {"nan", 0.20f}}) {
        write_bytes(file, std::string("[value]\r\nwidth tree=") + tree + "\r\nheight preview=7\r\n");
        load_layout(layout);
        EXPECT_EQ(std::pair(layout.tree_ratio, layout.preview_ratio), std::pair(expected, 0.30f)) << tree;
    }

    write_bytes(file, sj("[directory]\r\ncurrent=仕事\\ 受信箱\r\nmark3=a\\b\\\r\nmark4=表\\x\r\n"));
    load_layout(layout);
    // The trail byte of "表" is "\": it stays.
    EXPECT_EQ((std::vector{layout.current, layout.previous, layout.marks[0], layout.marks[2], layout.marks[3]}),
              (std::vector{sj("仕事/ 受信箱/"), sj("仕事/ 受信箱/"), std::string(), std::string("a/b/"), sj("表/x/")}));
}

TEST_F(layout_test, saving_writes_every_value_and_reads_back) {
    Layout layout;
    layout.position_x = -8, layout.sort_column = 5, layout.tree_ratio = 0.25f, layout.sort_descending = true;
    layout.column_width[5] = 0;  // the thread column hidden
    layout.current = sj("標準アカウント/ 受信箱/");
    layout.marks[11] = "a/";
    ASSERT_TRUE(save_layout(layout));
    Layout loaded;
    load_layout(loaded);
    EXPECT_EQ(std::tuple(loaded.position_x, loaded.column_width[5], loaded.sort_column, loaded.tree_ratio,
                         loaded.sort_descending, loaded.current, loaded.marks),
              std::tuple(-8, 0, 5, 0.25f, true, layout.current, layout.marks));
    EXPECT_EQ(contents(),
              crlf(sj("[value]\nposition x=-8\nposition y=0\nsize x=780\nsize y=560\nwidth attribute=54\n"
                      "width date=96\nwidth sender=158\nwidth subject=226\nwidth size=48\nwidth thread=0\n"
                      "sort column=5\nwidth tree=0.25\nheight preview=0.30\n[switch]\nmaximize=-\nsort direction=+\n"
                      "[directory]\ncurrent=標準アカウント/ 受信箱/\nmark1=\nmark2=\nmark3=\nmark4=\nmark5=\nmark6=\n"
                      "mark7=\nmark8=\nmark9=\nmark10=\nmark11=\nmark12=a/\n")));

    // A marked folder whose name holds a line break (made outside the
    // program) is forgotten; everything else is saved.
    layout.position_x = 5, layout.marks[0] = "a\nb/";
    ASSERT_TRUE(save_layout(layout));
    load_layout(loaded);
    EXPECT_EQ(std::tuple(loaded.position_x, loaded.marks[0], loaded.marks[11]), std::tuple(5, std::string(), "a/"));

    // The shipped widths and 0 are nobody's: the window fits those columns to its font.
    loaded.column_width[2] = 300;
    std::vector<bool> users;
    for (int column = -1; column <= layout_column_count; ++column) users.push_back(column_width_is_users(loaded, column));
    EXPECT_EQ(users, (std::vector<bool>{false, false, false, true, false, false, false, false}));
}

using list = std::vector<std::string>;

TEST(option_checks, dangerous_extensions_match_whole_extensions_in_any_case) {
    const std::string listed(default_dangerous_extensions);
    for (const char* name : {"setup.EXE", "a.b.Scr", "setup.exe . ", ".exe", "dir.txt/run.bat"})
        EXPECT_TRUE(has_dangerous_extension(name, listed)) << name;
    for (const char* name : {"file.exe.txt", "exe", "a.ex", "a.exex", "a.", "bat.exe/readme"})
        EXPECT_FALSE(has_dangerous_extension(name, listed)) << name;
    // Every listed extension counts: one that begins a longer one, one after a text without a
    // leading dot, one far beyond the first kilobyte, one in Japanese (表 ends in "\").
    EXPECT_TRUE(has_dangerous_extension("a.ex", ".exe.ex"));
    EXPECT_TRUE(has_dangerous_extension("a.exe", "bat.exe") && !has_dangerous_extension("a.bat", "bat.exe"));
    std::string long_list;
    for (int i = 0; i < 400; ++i) long_list += ".x" + std::to_string(i);
    EXPECT_TRUE(has_dangerous_extension("a.vbs", long_list + ".vbs"));
    EXPECT_TRUE(has_dangerous_extension(sj("a.表"), sj(".txt.表")));
    EXPECT_FALSE(has_dangerous_extension(sj("a.表"), ".txt.\x95"));

    const std::pair<const char*, int> names[] = {{"setup.EXE", str::dangerous_attachment},
                                                 {"com3", str::folder_name_rules}, {"", str::name_missing}, {"a.pdf", 0}};
    for (const auto& [name, message] : names) EXPECT_EQ(check_attachment_name(name, listed), message) << name;
    EXPECT_EQ(check_extension(sj("表")), 0);  // its second byte is "\", not a character
    EXPECT_EQ(check_extension(""), str::name_missing);
    for (char c : std::string_view("\"*./:<>?\\|\t"))
        EXPECT_EQ(check_extension(std::string("e") + c), str::extension_rules) << c;
}

TEST(option_checks, lists_split_and_join_as_the_dialogs_edit_them) {
    EXPECT_EQ(split_open_header_list(""), list{});
    EXPECT_EQ(split_open_header_list("To,Cc,"), (list{"Cc", "To"}));
    EXPECT_EQ(split_open_header_list("b,,a"), (list{"", "a", "b"}));
    EXPECT_EQ(join_open_header_list(split_open_header_list(default_open_header)), default_open_header);
    EXPECT_EQ(split_extension_list("bat.exe"), list{});
    EXPECT_EQ(split_extension_list(".bat..exe."), (list{"bat", "exe"}));
    EXPECT_EQ(join_extension_list(split_extension_list(default_dangerous_extensions)), default_dangerous_extensions);

    list names{"Cc", "To"};
    EXPECT_EQ(add_open_header(names, "Date").index, 1u);
    EXPECT_EQ(add_open_header(names, "Cc").message, str::name_exists);
    EXPECT_EQ(add_open_header(names, "cc").index, 3u);  // compared exactly
    EXPECT_EQ(add_open_header(names, "X-A,X-B").message, str::open_header_comma);  // would come back as two
    EXPECT_EQ(names, (list{"Cc", "Date", "To", "cc"}));

    list extensions{"exe"};
    EXPECT_EQ(add_extension(extensions, "exe").message, str::name_exists);
    EXPECT_EQ(add_extension(extensions, ".js").message, str::extension_rules);
    EXPECT_EQ(add_extension(extensions, "bat").index, 1u);
    EXPECT_EQ(extensions, (list{"exe", "bat"}));

    list entries{"a", "b", "c"};
    EXPECT_EQ(remove_list_entry(entries, 2), 1u);
    EXPECT_EQ(remove_list_entry(entries, 0), 0u);
    EXPECT_EQ(remove_list_entry(entries, 0), std::nullopt);
}

TEST(option_checks, key_letters_are_eleven_capitals) {
    EXPECT_EQ(check_key_letters(default_key_letters), 0);
    for (const char* letters : {"DFKNACMGTS", "dfknacmgtsr", "DFKNACMGTSRA", "", "DFKNACMGTS1"})
        EXPECT_EQ(check_key_letters(letters), str::key_letters_rules) << letters;
    EXPECT_EQ(check_key_letters(sj("ＤＦＫＮＡＣＭＧＴＳＲ")), str::key_letters_rules);
}

}  // namespace
}  // namespace qm::test
