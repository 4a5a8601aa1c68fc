#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/attributes.h"
#include "platform/file_operations.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::list_names;
using test::read_bytes;
using test::recording_reporter;
using test::sj;
using test::temp_dir;
using test::write_bytes;

using names = std::vector<std::string>;

// A stored message: header file "0", a part and a status.
void write_message(const std::string& utf8_dir, std::string_view header) {
    write_bytes(utf8_dir + "/0", header);
    write_bytes(utf8_dir + "/1", "\r\nbody\r\n");
    write_bytes(utf8_dir + "/status.ini", "[mail status]\r\ntype=!\r\n");
}

TEST(ArrangeRules, RulesFileKeepsItsRulesSortedAndGoesWithTheLastOne) {
    temp_dir dir;
    std::string folder = dir.cp("仕事/");
    ASSERT_TRUE(make_directory(folder));
    for (const auto& [header, keyword] : std::vector<std::pair<std::string, std::string>>{
             {"Subject", sj("会議")}, {"From", "boss"}, {"X-Tag", "a:b"}, {"From", "boss"}})
        EXPECT_TRUE(add_rule(folder, header, keyword));  // the second From:boss is kept once
    EXPECT_EQ(read_bytes(dir / "仕事/arrange.lst"), "\tFrom:boss\r\n\tSubject:" + sj("会議") + "\r\n\tX-Tag:a:b\r\n");
    std::vector<arrange_rule> rules = list_rules(folder);
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[1].keyword, sj("会議"));
    EXPECT_EQ(rules[2].header + "|" + rules[2].keyword, "X-Tag|a:b");  // split at the first colon
    EXPECT_TRUE(rule_exists(folder, "From", "boss"));
    EXPECT_FALSE(rule_exists(folder, "from", "boss"));

    // What cannot be one list line is refused and the list kept.
    EXPECT_FALSE(add_rule(folder, "Subject", "a\nb"));
    EXPECT_FALSE(add_rule(folder, "Subject", std::string(300, 'x')));
    EXPECT_FALSE(add_rule(dir.cp("missing/"), "Subject", "abc"));
    EXPECT_FALSE(delete_rule(folder, "Subject", "nothing"));
    EXPECT_EQ(list_rules(folder).size(), 3u);
    for (const arrange_rule& rule : rules) EXPECT_TRUE(delete_rule(folder, rule.header, rule.keyword));
    EXPECT_FALSE(exists(dir / "仕事/arrange.lst"));
}

struct match_case {
    const char* name;
    std::string header;
    std::string keyword;
    std::string header_file;
    bool moved;
};

TEST(ArrangeRules, HeaderLinesMatchAsTheyAreReadInPieces) {
    const std::string x200(200, 'x'), x244(244, 'x'), x246(246, 'x');
    const std::vector<match_case> cases = {
        {"header name case ignored", "subject", "Sale", "From: a\r\nSubject: Big Sale\r\n", true},
        {"keyword case kept", "subject", "Sale", "Subject: big sale\r\n", false},
        {"empty keyword, field present", "To", "", "From: a\r\nTo: b@example.com\r\n", true},
        {"empty keyword, field missing", "To", "", "From: a\r\n", false},
        {"name must begin the line", "Subject", "Sale", "X-Subject: Sale\r\n", false},
        {"keyword after the colon only", "Subject", "ject", "Subject: x\r\n", false},
        {"continuation lines never match", "Subject", "Sale", "Subject: Big\r\n Sale\r\n", false},
        {"Japanese keyword", "Subject", sj("会議"), "Subject: " + sj("定例会議") + "\r\n", true},
        {"no match inside a double-byte character", "Subject", "\\", "Subject: " + sj("ソ") + "\r\n", false},
        {"within the first piece", "Subject", "Sale", "Subject: " + x200 + "Sale\r\n", true},
        {"across two pieces", "Subject", "Sale", "Subject: " + x244 + "Sale\r\n", false},
        {"a second piece is a line of its own", "To", "Sale", "Subject: " + x246 + "To: Sale\r\n", true},
        {"no header file", "To", "", "", false},
    };
    for (const match_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        ASSERT_TRUE(make_directory(dir.cp("dest/")));
        ASSERT_TRUE(add_rule(dir.cp("dest/"), c.header, c.keyword));
        if (c.header_file.empty())
            write_bytes(dir / "inbox/.0/1", "\r\nbody\r\n");
        else
            write_message(dir / "inbox/.0", c.header_file);
        recording_reporter report;
        arrange_run(dir.cp("inbox/"), dir.cp(), report);
        EXPECT_EQ(exists(dir / "dest/.0"), c.moved);
        EXPECT_EQ(exists(dir / "inbox/.0"), !c.moved);
        EXPECT_TRUE(report.shown.empty());
    }
}

TEST(ArrangeRules, FirstRuleInCollectedOrderWinsAndReceiveTakesOnlyTheTrashRules) {
    temp_dir dir;
    std::string account = dir.cp("acct/");
    ASSERT_TRUE(make_directory(account) && make_special_folders(account));
    std::string inbox = special_folder_in(account, special_folder::inbox);
    std::string trash = special_folder_in(account, special_folder::trash);
    for (const char* folder : {"a/", "a/z/", "b/"}) ASSERT_TRUE(make_directory(account + folder));
    ASSERT_TRUE(make_directory(trash + "old/"));
    // Collected depth first in byte order of the names: the trash and its
    // "old", the inbox's own rule, a/z, then b.
    ASSERT_TRUE(add_rule(trash, "Subject", "spam"));
    ASSERT_TRUE(add_rule(trash + "old/", "Subject", "hello"));
    ASSERT_TRUE(add_rule(inbox, "Subject", "report"));
    ASSERT_TRUE(add_rule(account + "a/z/", "Subject", "memo"));
    ASSERT_TRUE(add_rule(account + "b/", "From", "boss"));
    const std::vector<std::pair<int, std::string>> messages = {
        {0, "Subject: spam hello\r\n"},
        {1, "Subject: hello\r\n"},
        {2, "Subject: report 2\r\n"},
        {3, "Subject: memo\r\nFrom: boss\r\n"},
        {4, "Subject: x\r\nFrom: boss\r\n"},
        {5, "Subject: report 5\r\n"},
    };
    for (const auto& [number, header] : messages) write_message(dir / "acct/ 受信箱/." + std::to_string(number), header);
    ASSERT_TRUE(set_attributes(inbox + ".4/0", read_only_mark));

    recording_reporter report;
    arrange_run(inbox, trash, report);
    EXPECT_EQ(read_bytes(dir / "acct/ ごみ箱/.0/0"), "Subject: spam hello\r\n");
    EXPECT_EQ(read_bytes(dir / "acct/ ごみ箱/old/.0/0"), "Subject: hello\r\n");
    EXPECT_EQ(list_names(dir / "acct/ 受信箱"), (names{".2", ".3", ".4", ".5", "arrange.lst"}));

    // The whole account: a message matched by the inbox's own rule takes a
    // new number there and is not met again.
    arrange_run(inbox, account, report);
    EXPECT_EQ(list_names(dir / "acct/ 受信箱"), (names{".0", ".1", "arrange.lst"}));
    EXPECT_EQ(read_bytes(dir / "acct/ 受信箱/.0/0"), "Subject: report 2\r\n");
    EXPECT_EQ(read_bytes(dir / "acct/ 受信箱/.1/0"), "Subject: report 5\r\n");
    EXPECT_EQ(read_bytes(dir / "acct/a/z/.0/0"), "Subject: memo\r\nFrom: boss\r\n");
    // The whole message moves, its read-only mark kept.
    EXPECT_EQ(list_names(dir / "acct/b/.0"), (names{"0", "1", "status.ini"}));
    EXPECT_TRUE(is_read_only(account + "b/.0/0"));
    EXPECT_TRUE(report.shown.empty());
}

}  // namespace
}  // namespace qm
