#include "config/settings.h"

#include "config/accounts.h"
#include "config_test.h"
#include "platform/file_operations.h"

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
    ASSERT_TRUE(WriteDefaultSettings());
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

    given("[switch]\nview tree=-\n");
    ASSERT_TRUE(WriteDefaultSettings());
    EXPECT_EQ(contents(), crlf("[switch]\nview tree=-\n"));

    std::remove(file.c_str());
    ASSERT_TRUE(make_directory(dir.cp("data/quillmere.$$$")));
    EXPECT_FALSE(WriteDefaultSettings());
    EXPECT_FALSE(exists(file));
}

TEST_F(settings_test, colours_parse_as_red_green_blue_modulo_256) {
    for (auto [text, expected] : {std::pair<const char*, colour>{"10:20", 0x00140a}, {"300:0:0", 44}, {"", 0},
                                  {"0:0:64", 0x400000}, {"-1:x:7", 0x0700ff}, {" 5abc:6:7:8", 0x070605},
                                  {"1::3", 0x030001}})
        EXPECT_EQ(ParseColor(text), expected) << text;
    EXPECT_EQ(format_color(ParseColor("255:128:0")), "255:128:0");
}

TEST_F(settings_test, first_start_makes_the_mailbox_with_one_account) {
    Settings s;
    LoadFunctionSettings(s, report);
    std::string mailbox = dir.cp("data/mailbox/");
    EXPECT_EQ(s.mailbox, mailbox);
    EXPECT_EQ(list_accounts(mailbox), names{sj("標準アカウント")});
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
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
}

TEST_F(settings_test, saved_groups_load_back) {
    ASSERT_TRUE(WriteDefaultSettings());
    ASSERT_TRUE(SaveViewSettings(true, false, true, "", "Noto Sans", -14, 10, 700, true, "Bold",
                                 {"1:2:3", "4:5:6", "7:8:9", "10:11:12", "13:14:15", "16:17:18"}));
    ASSERT_TRUE(SaveFunctionSettings(true, false, true, false, true, 99999, "box\\in", "C:\\v", "e", ".exe",
                                     std::string("ABCDEFGHIJ\0", 11)));
    // An empty header list stays empty: opening a mail then keeps no header.
    EXPECT_EQ(ReadOpenHeaderList(default_open_header) + ReadDangerousExtensions(), ".exe");
    const std::string text = contents();
    for (const char* expected : {"view tree=-\r\nview preview=+\r\narrange at receive=+\r\n",
                                 "open header=\r\nmailbox=box/in\r\ntext viewer=C:/v\r\n",
                                 "bold=700\r\nitalic=+\r\nstyle=Bold\r\n", "open menu sort=J\r\nsearch=\r\n"})
        EXPECT_TRUE(contains(text, expected)) << expected;

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

    // A group that fails half-way writes none of its keys.
    EXPECT_FALSE(SaveFunctionSettings(false, false, false, false, false, 0, "", "", "a\nb", "", "DFKNACMGTSR"));
    EXPECT_EQ(contents(), text);
    ASSERT_TRUE(make_directory(dir.cp("data/quillmere.$$$")));
    EXPECT_FALSE(SaveFunctionSettings(false, false, false, false, false, 0, "", "", "", "", "DFKNACMGTSR"));
    EXPECT_EQ(contents(), text);
}

}  // namespace
}  // namespace qm::test
