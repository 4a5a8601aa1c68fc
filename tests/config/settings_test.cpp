#include "config/settings.h"

#include "config/accounts.h"
#include "config/layout.h"
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
    current_account a = load_current_account(mailbox, sj("標準アカウント"));
    EXPECT_TRUE(a.pop_port == 110 && a.smtp_port == 25 && a.pop_remove && a.verify_certificate && a.name.empty());
    EXPECT_FALSE(a.pop_over_ssl || a.apop || a.smtp_over_ssl || a.smtp_auth);

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
    EXPECT_NE(text.find("open header=\r\nmailbox=box/in\r\ntext viewer=C:/v\r\n"), std::string::npos) << text;

    Settings s;
    LoadViewSettings(s);
    EXPECT_EQ(std::tuple(s.list_thread, s.view_tree, s.font_name, s.font_size, s.font_weight, s.font_italic, s.font_style,
                         s.text_normal),
              std::tuple(true, false, std::string("Noto Sans"), -14, 700, true, std::string("Bold"), 0x121110u));
    // A relative mailbox lies in the data directory; the interval is kept within its range.
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
}

struct layout_test : data_directory_test {
    layout_test() : data_directory_test("layout.ini") {}
};

TEST_F(layout_test, defaults_are_written_once_and_whole) {
    ASSERT_TRUE(WriteDefaultLayout());
    EXPECT_EQ(contents(),
              crlf(sj("[value]\nposition x=0\nposition y=0\nsize x=780\nsize y=560\nwidth attribute=54\n"
                      "width date=96\nwidth sender=158\nwidth subject=226\nwidth size=48\nwidth thread=60\n"
                      "sort column=1\nwidth tree=0.20\nheight preview=0.30\n[switch]\nmaximize=-\nsort direction=-\n"
                      "[directory]\ncurrent=標準アカウント/\nmark1=\nmark2=\nmark3=\nmark4=\nmark5=\nmark6=\nmark7=\n"
                      "mark8=\nmark9=\nmark10=\nmark11=\nmark12=\n")));

    // An existing file is never rewritten; a failure leaves no file, not even part of one.
    write_bytes(file, "[value]\r\nsize x=1\r\n");
    ASSERT_TRUE(WriteDefaultLayout());
    EXPECT_EQ(contents(), "[value]\r\nsize x=1\r\n");
    std::remove(file.c_str());
    ASSERT_TRUE(make_directory(dir.cp("layout.$$$")));
    EXPECT_FALSE(WriteDefaultLayout());
    EXPECT_FALSE(exists(file));
}

TEST_F(layout_test, loading_repairs_ratios_and_separators) {
    Layout layout;
    LoadLayout(layout);
    EXPECT_EQ(std::tuple(layout.size_x, layout.column_width[2], layout.tree_ratio, layout.previous),
              std::tuple(780, 158, 0.20f, sj("標準アカウント/")));

    for (auto [tree, expected] : {std::pair{"1.5", 0.20f}, {"1.0", 0.20f}, {"0.999", 0.999f}, {"0", 0.0f},
                                  {"-0.5", 0.20f}, {"nan", 0.20f}}) {
        write_bytes(file, std::string("[value]\r\nwidth tree=") + tree + "\r\nheight preview=7\r\n");
        LoadLayout(layout);
        EXPECT_EQ(std::pair(layout.tree_ratio, layout.preview_ratio), std::pair(expected, 0.30f)) << tree;
    }

    write_bytes(file, sj("[directory]\r\ncurrent=仕事\\ 受信箱\r\nmark3=a\\b\\\r\nmark4=表\\x\r\n"));
    LoadLayout(layout);
    // The trail byte of "表" is "\": it stays.
    EXPECT_EQ((std::vector{layout.current, layout.previous, layout.marks[0], layout.marks[2], layout.marks[3]}),
              (std::vector{sj("仕事/ 受信箱/"), sj("仕事/ 受信箱/"), std::string(), std::string("a/b/"), sj("表/x/")}));
    EXPECT_EQ(layout_account_root("/m/", layout.current), sj("/m/仕事/"));
}

TEST_F(layout_test, saving_writes_every_value_and_reads_back) {
    Layout layout;
    layout.position_x = -8, layout.sort_column = 5, layout.tree_ratio = 0.25f, layout.sort_descending = true;
    layout.column_width[5] = 0;  // the thread column hidden
    layout.current = sj("標準アカウント/ 受信箱/");
    layout.marks[11] = "a/";
    ASSERT_TRUE(SaveLayout(layout));
    Layout loaded;
    LoadLayout(loaded);
    EXPECT_EQ(std::tuple(loaded.position_x, loaded.column_width[5], loaded.sort_column, loaded.tree_ratio,
                         loaded.sort_descending, loaded.current, loaded.marks),
              std::tuple(-8, 0, 5, 0.25f, true, layout.current, layout.marks));
    const std::string saved = contents();
    layout.position_x = 5, layout.marks[11] = "a\nb";  // the last value cannot be stored: nothing is
    EXPECT_FALSE(SaveLayout(layout));
    EXPECT_EQ(contents(), saved);
}

}  // namespace
}  // namespace qm::test
