#include "store/arrange_rules.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

using ArrangeRules = store_test;

TEST_F(ArrangeRules, RulesFileKeepsItsRulesSortedAndRefusesWhatCannotBeOneLine) {
    std::string folder = cp("仕事/");
    ASSERT_TRUE(make_directory(folder));
    for (const auto& [header, keyword] : std::vector<std::pair<std::string, std::string>>{
             {"Subject", sj("会議")}, {"From", "boss"}, {"X-Tag", "a:b"}, {"From", "boss"}})
        EXPECT_TRUE(add_rule(folder, header, keyword));  // the second From:boss is kept once
    EXPECT_EQ(read_bytes(at("仕事/arrange.lst")), "\tFrom:boss\r\n\tSubject:" + sj("会議") + "\r\n\tX-Tag:a:b\r\n");
    std::vector<arrange_rule> rules = list_rules(folder);
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[1].keyword + "|" + rules[2].header + "|" + rules[2].keyword, sj("会議") + "|X-Tag|a:b");  // split at the first colon
    EXPECT_TRUE(rule_exists(folder, "From", "boss") && !rule_exists(folder, "from", "boss"));

    // What cannot be one list line is refused and the list kept.
    EXPECT_TRUE(rule_storable("X", std::string(251, 'k')));
    EXPECT_FALSE(rule_storable("Subject", "a\nb") || add_rule(folder, "Subject", "a\nb") ||
                 add_rule(dir.cp("missing/"), "Subject", "abc") || delete_rule(folder, "Subject", "nothing"));
    EXPECT_EQ(list_rules(folder).size(), 3u);
    // An edit that cannot be stored keeps the old rule (edits that can, one line too long and the last rule
    // deleted are met through the arrange dialog).
    EXPECT_FALSE(replace_rule(folder, "From", "boss", "From", "a\nb"));
    EXPECT_TRUE(rule_exists(folder, "From", "boss"));
    // A rule that is not there is not edited; one that is takes the place of the old one.
    EXPECT_FALSE(replace_rule(folder, "From", "nobody", "To", "x"));
    EXPECT_TRUE(replace_rule(folder, "From", "boss", "To", "x"));
    EXPECT_EQ(read_bytes(at("仕事/arrange.lst")), "\tSubject:" + sj("会議") + "\r\n\tTo:x\r\n\tX-Tag:a:b\r\n");
}

TEST(ArrangeRuleMatching, HeaderLinesMatchAsTheyAreReadInPieces) {
    const std::string x200(200, 'x'), x244(244, 'x'), x246(246, 'x');
    const struct { const char* name; std::string header, keyword, header_file; bool moved; } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        ASSERT_TRUE(make_directory(dir.cp("dest/")));
        ASSERT_TRUE(add_rule(dir.cp("dest/"), c.header, c.keyword));
        write_message(dir / "inbox/.0/", {c.header_file, "\r\nbody\r\n"}, type_status('!'));  // no "0" when empty
        recording_reporter report;
        arrange_run(dir.cp("inbox/"), dir.cp(), report);
        EXPECT_EQ(exists(dir / "dest/.0"), c.moved);
        EXPECT_EQ(exists(dir / "inbox/.0"), !c.moved);
        EXPECT_TRUE(report.shown.empty());
    }
}

TEST_F(ArrangeRules, FirstRuleInCollectedOrderWinsAndTheFolderOwnRuleKeepsTheMessage) {
    std::string inbox = cp(" 受信箱/"), trash = cp(" ごみ箱/");
    for (const char* folder : {"a/", "a/z/", "b/", " ごみ箱/old/"}) ASSERT_TRUE(make_directory(cp(folder)));
    // Collected depth first in byte order of the names: the trash and its
    // "old", the inbox's own rule, a/z, then b. The outbox's rule never
    // applies: what it took would be sent.
    for (auto [folder, header, keyword] : {std::tuple{trash, "Subject", "spam"}, {cp(" 送信箱/"), "Subject", "memo"},
                                           {trash + "old/", "Subject", "hello"}, {inbox, "Subject", "report"},
                                           {cp("a/z/"), "Subject", "memo"}, {cp("b/"), "From", "boss"}})
        ASSERT_TRUE(add_rule(folder, header, keyword));
    const char* headers[] = {"Subject: spam hello\r\n", "Subject: hello\r\n",      "Subject: report 2\r\n",
                             "Subject: memo\r\nFrom: boss\r\n", "Subject: report\r\nFrom: boss\r\n", "Subject: x\r\nFrom: boss\r\n"};
    for (int n = 0; n < 6; ++n) message(" 受信箱/", n, '!', {headers[n], "\r\nbody\r\n"});

    arrange_run(inbox, account, report);
    EXPECT_EQ(read_bytes(at(" ごみ箱/.0/0")), headers[0]);
    EXPECT_EQ(read_bytes(at(" ごみ箱/old/.0/0")), headers[1]);
    EXPECT_EQ(read_bytes(at("a/z/.0/0")), headers[3]);
    // Matched first by the inbox's own rule: the message stays under its number.
    EXPECT_EQ(list_names(at(" 受信箱")), (names{".2", ".4", "arrange.lst"}));
    // The whole message moves.
    EXPECT_EQ(read_bytes(at("b/.0/0")), headers[5]);
    EXPECT_EQ(list_names(at("b/.0")), (names{"0", "1", "status.ini"}));
    EXPECT_TRUE(report.shown.empty());
}

}  // namespace
}  // namespace qm::test
