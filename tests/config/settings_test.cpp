#include "config/settings.h"

#include <tuple>

#include <gtest/gtest.h>

#include "config/accounts.h"
#include "config/profile.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::list_names;
using test::read_bytes;
using test::sj;
using test::write_bytes;

class settings_test : public ::testing::Test {
protected:
    test::temp_dir dir;
    program_context saved = context();
    std::string file = dir / "data/quillmere.ini";
    test::recording_reporter report;

    settings_test() {
        set_context({dir.cp("data/"), dir.cp(), dir.cp(), dir.cp("bin/")});
        make_directory(dir.cp("data/"));
    }
    ~settings_test() override { set_context(saved); }
    void given(std::string_view text) { write_bytes(file, text); }
};

TEST_F(settings_test, first_start_writes_exactly_the_defaults_in_order) {
    // The file the writers give when every key is written on its own.
    const std::string notepad = dir.cp("bin/quillmere-notepad");
    const std::string defaults[][3] = {
        {"switch", "list thread", "-"}, {"switch", "view tree", "+"}, {"switch", "view preview", "+"},
        {"switch", "arrange at receive", "-"}, {"switch", "arrange at send", "-"},
        {"switch", "arrange at terminate", "-"}, {"switch", "tell remain", "+"}, {"switch", "clear trash", "-"},
        {"value", "check interval", "0"},
        {"string", "open header", "Bcc,Cc,Date,From,Reply-To,Resent-,Sender,Subject,To,X-Mailer"},
        {"string", "mailbox", dir.cp("data/mailbox/")}, {"string", "text viewer", notepad},
        {"string", "text editor", notepad}, {"string", "dangerous extension", ".bat.cmd.com.exe.lnk.pif.reg.scr"},
        {"font", "name", sj("ＭＳ ゴシック")}, {"font", "size", "-12"}, {"font", "point", "9"}, {"font", "bold", "400"},
        {"font", "italic", "-"}, {"font", "style", sj("標準")}, {"color", "back ground", "0:0:64"},
        {"color", "back text", "0:0:255"}, {"color", "text directory", "0:255:255"},
        {"color", "text search", "0:255:0"}, {"color", "text new", "255:255:0"},
        {"color", "text normal", "255:255:255"},
        {"key", "select account", "D"}, {"key", "open menu mail", "F"}, {"key", "make directory", "K"},
        {"key", "make mail", "N"}, {"key", "mark all", "A"}, {"key", "connect", "C"}, {"key", "connect round", "M"},
        {"key", "arrange", "G"}, {"key", "clear trash", "T"}, {"key", "open menu sort", "S"}, {"key", "search", "R"}};
    for (const auto& [section, key, value] : defaults)
        ASSERT_TRUE(profile_write_string(dir.cp("by_keys.ini"), section, key, value, false));

    ASSERT_TRUE(WriteDefaultSettings());
    EXPECT_EQ(read_bytes(file), read_bytes(dir / "by_keys.ini"));

    given("[switch]\nview tree=-\n");
    ASSERT_TRUE(WriteDefaultSettings());
    EXPECT_EQ(read_bytes(file), "[switch]\nview tree=-\n");

    std::remove(file.c_str());
    ASSERT_TRUE(make_directory(dir.cp("data/quillmere.$$$")));
    EXPECT_FALSE(WriteDefaultSettings());
    EXPECT_FALSE(exists(file));
}

TEST_F(settings_test, colours_parse_as_red_green_blue_modulo_256) {
    struct {
        const char* text;
        colour expected;
    } cases[] = {{"10:20", 0x00140a}, {"300:0:0", 44},      {"", 0},         {"0:0:64", 0x400000},
                 {"-1:x:7", 0x0700ff}, {" 5abc:6:7:8", 0x070605}, {"1::3", 0x030001}};
    for (const auto& c : cases) EXPECT_EQ(ParseColor(c.text), c.expected) << c.text;
    EXPECT_EQ(format_color(ParseColor("255:128:0")), "255:128:0");
}

TEST_F(settings_test, first_start_makes_the_mailbox_with_one_account) {
    Settings s;
    LoadFunctionSettings(s, report);
    std::string mailbox = dir.cp("data/mailbox/");
    EXPECT_EQ(s.mailbox, mailbox);
    EXPECT_EQ(list_accounts(mailbox), std::vector<std::string>{sj("標準アカウント")});
    current_account account = load_current_account(mailbox, sj("標準アカウント"));
    EXPECT_EQ(std::tuple(account.pop_port, account.smtp_port, account.pop_remove, account.verify_certificate),
              std::tuple(110, 25, true, true));
    EXPECT_FALSE(account.pop_over_ssl || account.apop || account.smtp_over_ssl || account.smtp_auth);
    EXPECT_EQ(account.name + account.address + account.pop_server + account.auto_cc, "");

    // An existing mailbox is left as it is, an empty one included.
    ASSERT_TRUE(delete_account(mailbox, sj("標準アカウント")));
    LoadFunctionSettings(s, report);
    EXPECT_TRUE(list_names(dir / "data/mailbox").empty());

    // A mailbox that cannot be made is reported.
    given("[string]\nmailbox=" + dir.cp("data/quillmere.ini/box/") + "\n");
    LoadFunctionSettings(s, report);
    EXPECT_EQ(report.texts(), std::vector<std::string>{"ファイルの読み書きに失敗しました."});
}

TEST_F(settings_test, saved_groups_load_back) {
    ASSERT_TRUE(WriteDefaultSettings());
    ASSERT_TRUE(SaveViewSettings(true, false, true, "", "Noto Sans", -14, 10, 700, true, "Bold",
                                 {"1:2:3", "4:5:6", "7:8:9", "10:11:12", "13:14:15", "16:17:18"}));
    ASSERT_TRUE(SaveFunctionSettings(true, false, true, false, true, 99999, "box\\in", "C:\\v", "e", ".exe",
                                     std::string("ABCDEFGHIJ\0", 11)));
    // An empty header list stays empty: opening a mail then keeps no header.
    EXPECT_EQ(ReadOpenHeaderList(default_open_header) + ReadDangerousExtensions(), ".exe");
    std::string text = read_bytes(file);
    for (const char* expected : {"view tree=-\r\nview preview=+\r\narrange at receive=+\r\n",
                                 "open header=\r\nmailbox=box/in\r\ntext viewer=C:/v\r\n",
                                 "bold=700\r\nitalic=+\r\nstyle=Bold\r\n", "open menu sort=J\r\nsearch=\r\n"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;

    Settings s;
    LoadViewSettings(s);
    EXPECT_EQ(std::tuple(s.list_thread, s.view_tree, s.font_name, s.font_size, s.font_italic, s.text_normal),
              std::tuple(true, false, std::string("Noto Sans"), -14, true, 0x121110u));
    // A relative mailbox lies in the data directory; the interval is kept
    // within its range.
    make_directory(dir.cp("data/box/"));
    make_directory(dir.cp("data/box/in/"));
    LoadFunctionSettings(s, report);
    EXPECT_EQ(std::tuple(s.arrange_at_receive, s.tell_remain, s.check_interval, s.mailbox, s.text_viewer, s.keys),
              std::tuple(true, false, 1440, dir.cp("data/box/in/"), std::string("C:/v"),
                         std::string("ABCDEFGHIJ\0", 11)));
    EXPECT_TRUE(report.shown.empty());

    ASSERT_TRUE(make_directory(dir.cp("data/quillmere.$$$")));
    EXPECT_FALSE(SaveFunctionSettings(false, false, false, false, false, 0, "", "", "", "", "DFKNACMGTSR"));
    EXPECT_EQ(read_bytes(file), text);
}

}  // namespace
}  // namespace qm
