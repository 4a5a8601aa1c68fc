#include "store/arrange_rules.h"
#include "store/folder_operations.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

const std::string rules = "(1) 次の文字は使用できません.\n    \"*/:<>?\\|\n\n(2) 使用できない名前です.\n\n(3) 先頭の.は許されません.";
const std::string taken = "すでに同名のものが存在します.";

using FolderOperations = store_test;

TEST_F(FolderOperations, MakeFolderChecksTheNameRulesThenExistenceThenMakesTheDirectory) {
    write_bytes(dir / "shown/taken", "");
    // "表" and "ソ" end with the byte of "\": only characters count.
    const std::pair<const char*, std::string> cases[] = {
        {"CoN", rules}, {"COM3", rules}, {"LPT9", rules}, {".hidden", rules}, {"送信控", rules}, {" 受信箱", rules},
        {"a\\b", rules}, {"a\nb", rules}, {"a\x1a" "b", rules}, {"taken", taken}, {"", taken},
        {"lpt0", ""}, {"lpt10", ""}, {"nul.txt", ""}, {"表ソ札", ""}};
    for (const auto& [name, message] : cases) {
        report.shown.clear();
        EXPECT_EQ(make_folder(dir.cp("shown/"), sj(name), report), message.empty()) << name;
        EXPECT_EQ(report.texts(), message.empty() ? names{} : names{message}) << name;
        for (const auto& shown : report.shown) EXPECT_EQ(shown.first, message_kind::notice);
    }
    EXPECT_EQ(list_names(dir / "shown"), (names{"lpt0", "lpt10", "nul.txt", "taken", "表ソ札"}));
    report.shown.clear();
    EXPECT_FALSE(make_folder(dir.cp("missing/"), "new", report));
    EXPECT_EQ(report.shown.at(0), (std::pair{message_kind::error, sj(file_error)}));
}

TEST_F(FolderOperations, RenameCaseChangesNeverMergeTwoFolders) {
    std::string shown = dir.cp("shown/");
    write_bytes(dir / "shown/Work/a", "work mail");
    EXPECT_TRUE(rename_folder(shown, "Work", "work", report));  // no other "work": a plain rename
    write_bytes(dir / "shown/Work/b", "other mail");
    EXPECT_FALSE(rename_folder(shown, "work", "Work", report));  // a different "Work" exists
    EXPECT_EQ(list_names(dir / "shown/Work"), names{"b"});
    EXPECT_EQ(read_bytes(dir / "shown/work/a"), "work mail");
    EXPECT_TRUE(rename_folder(shown, "work", "work", report));  // unchanged: nothing to do
    // A special name, a special folder (silently refused), a gone one.
    EXPECT_FALSE(rename_folder(shown, "work", sj("草稿"), report) || rename_folder(shown, sj("草稿"), "drafts", report) ||
                 rename_folder(shown, "gone", "other", report));
    EXPECT_TRUE(rename_folder(shown, "work", sj("旧仕事"), report));
    EXPECT_EQ(report.texts(), (names{taken, rules, file_error}));
    EXPECT_EQ(list_names(dir / "shown"), (names{"Work", "旧仕事"}));
}

TEST_F(FolderOperations, ChangeSubjectRewritesTheHeaderOfTheMessage) {
    write_bytes(dir / "f/.3/0", "From: a@example.com\r\nSubject: old\r\nTo: b@example.com\r\n");
    EXPECT_TRUE(change_subject(dir.cp("f/"), "3", sj("新件名"), report));
    EXPECT_EQ(read_bytes(dir / "f/.3/0"), "From: a@example.com\r\nSubject: " + sj("新件名") + "\r\nTo: b@example.com\r\n");
    EXPECT_FALSE(change_subject(dir.cp("f/"), "3", "two\nlines", report) ||
                 change_subject(dir.cp("f/"), "../f/.3", "x", report));
    EXPECT_EQ(report.texts(), (names{file_error, file_error}));
}

// ---- moves, with the folders of the account "acct" and a second account "other" ----

class FolderMoves : public store_test {
protected:
    FolderMoves() { EXPECT_TRUE(make_directory(dir.cp("other/")) && make_special_folders(dir.cp("other/"))); }
    // The place of a folder below the account; "../" leads to the mailbox.
    std::string target(const std::string& path) const {
        return path.starts_with("../") ? dir.cp(path.substr(3)) : cp(path);
    }
    folder_place place(const std::string& folder) const { return {dir.cp(), account, cp(folder)}; }
};

selected_row mail(int number, char type) { return {false, std::to_string(number), type}; }
selected_row folder(const char* name) { return {true, sj(name), ' '}; }

TEST_F(FolderMoves, EachTypeOfMailGoesOnlyWhereItBelongs) {
    const std::string types = " !SDX";  // read, new, sent, draft, unknown
    const std::pair<std::string, std::string> cases[] = {
        {" 受信箱/", " !X"}, {" 送信箱/", "DX"},    {" 送信箱/草稿/", "DX"}, {" 送信箱/送信控/", "SX"},
        {" ごみ箱/", " !SDX"}, {"仕事/", " !SX"}, {"../other/ 送信箱/", "DX"}};
    write_bytes(at("仕事/.keep"), "");  // no message number
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& [to, expected] = cases[k];
        const std::string source = "mine" + std::to_string(k) + "/";
        std::vector<selected_row> rows;
        for (int i = 0; i < 5; ++i) message(source, i, types[i]), rows.push_back(mail(i, types[i]));
        move_result result = move_rows(place(source), target(to), rows, report);
        std::string moved;
        for (std::size_t n = 0; n < result.moved.size(); ++n) {
            moved += types[result.moved[n].index];
            EXPECT_EQ(result.moved[n].new_path, target(to) + "." + std::to_string(n) + "/");
        }
        EXPECT_EQ(moved, expected) << to;
        EXPECT_EQ(list_names(at(source)).size(), 5 - moved.size());
        EXPECT_TRUE(report.shown.empty() && !result.failed);
    }
}

TEST_F(FolderMoves, FoldersTakeFreeNamesAndNeverMoveIntoThemselves) {
    for (const char* path : {"mine/work/sub/.0/0", "mine/草稿/.keep", "mine/b/.keep", "to/work/.keep", "to/work_"})
        write_bytes(at(path), "x");
    for (const char* to : {"mine/work/", "mine/work/sub/", "mine/", " 受信箱/", " 送信箱/草稿/", "../"})
        EXPECT_TRUE(move_rows(place("mine/"), target(to), {folder("work")}, report).moved.empty()) << to;
    move_result result =
        move_rows(place("mine/"), cp("to/"), {folder("草稿"), folder(".."), folder("work"), folder("b")}, report);
    ASSERT_EQ(result.moved.size(), 2u);
    EXPECT_EQ(std::pair(result.moved[0].index, result.moved[0].new_path), std::pair(std::size_t{2}, cp("to/work__/")));
    EXPECT_EQ(read_bytes(at("to/work__/sub/.0/0")), "x");
    EXPECT_EQ(list_names(at("mine")), names{"草稿"});
    EXPECT_TRUE(report.shown.empty());
}

TEST_F(FolderMoves, AFailedStepStopsTheRunReportsOnceAndSplitsNoMessage) {
    for (int n : {0, 1}) message("mine/", n, ' ');
    // The second row's message is gone: the third is not tried.
    move_result result = move_rows(place("mine/"), cp(" ごみ箱/"), {mail(0, ' '), mail(7, ' '), mail(1, ' ')}, report);
    EXPECT_EQ(std::pair(result.failed, result.moved.size()), std::pair(true, std::size_t{1}));
    EXPECT_EQ(list_names(at("mine/.1")), (names{"0", "1", "status.ini"}));
    EXPECT_EQ(report.texts(), names{file_error});
}

TEST_F(FolderMoves, DraggingAFolderInTheTree) {
    for (const char* path : {"work/sub/.0/0", "to/work/.keep"}) write_bytes(at(path), "x");
    for (const char* to : {" 受信箱/", " 送信箱/送信控/", "work/", "work/sub/", ""})
        EXPECT_FALSE(move_folder(place(""), cp("work/"), cp(to), report).moved) << to;
    EXPECT_FALSE(move_folder(place(""), cp(" 受信箱/"), cp("to/"), report).moved);
    folder_move_result result = move_folder(place("work/sub/"), cp("work/"), cp("to/"), report);
    EXPECT_TRUE(result.moved && result.new_path == cp("to/work_/"));
    EXPECT_EQ(result.show_folder, account);  // the folder shown lay inside
    EXPECT_FALSE(move_folder(place(""), cp("work/"), cp("to/"), report).moved);  // gone
    EXPECT_EQ(report.texts(), names{file_error});
}

// (The question is met through the window; what the emptying keeps, through the steps at closing.)
TEST_F(FolderMoves, EmptyingTheTrashKeepsOnlyItsRulesAndStopsAtAFailure) {
    for (const char* path : {" ごみ箱/arrange.lst", " ごみ箱/.0/0", " ごみ箱/old/.0/0", " ごみ箱/old/arrange.lst"})
        write_bytes(at(path), "\trule\r\n");
    empty_trash_result result = empty_trash(account, cp(" ごみ箱/old/"), report);
    EXPECT_TRUE(result.emptied);
    EXPECT_EQ(result.show_folder, cp(" ごみ箱/"));  // the folder shown is gone
    write_bytes(at(" ごみ箱/stuck/\xff"), "");
    result = empty_trash(account, cp(" 受信箱/"), report);
    EXPECT_FALSE(result.emptied || result.show_folder);
    EXPECT_EQ(read_bytes(at(" ごみ箱/arrange.lst")), "\trule\r\n");
    // A question each, and one message for the failure.
    EXPECT_EQ(std::pair(report.texts().back(), report.shown.size()), std::pair(file_error, std::size_t{3}));
}

// ---- the arrange rules of a folder, and the run that moves mail by them ----

using ArrangeRules = store_test;

TEST_F(ArrangeRules, RulesFileKeepsItsRulesSortedAndRefusesWhatCannotBeOneLine) {
    std::string folder = cp("仕事/");
    ASSERT_TRUE(make_directory(folder));
    for (const auto& [header, keyword] : std::vector<std::pair<std::string, std::string>>{
             {"Subject", sj("会議")}, {"From", "boss"}, {"X-Tag", "a:b"}, {"From", "boss"}})
        EXPECT_TRUE(add_rule(folder, header, keyword));  // the second From:boss is kept once
    EXPECT_EQ(read_bytes(at("仕事/arrange.lst")), "\tFrom:boss\r\n\tSubject:" + sj("会議") + "\r\n\tX-Tag:a:b\r\n");
    std::vector<arrange_rule> listed = list_rules(folder);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[1].keyword + "|" + listed[2].header + "|" + listed[2].keyword, sj("会議") + "|X-Tag|a:b");  // split at the first colon
    EXPECT_TRUE(rule_exists(folder, "From", "boss") && !rule_exists(folder, "from", "boss"));

    // What cannot be one list line is refused and the list kept.
    EXPECT_TRUE(rule_storable("X", std::string(251, 'k')));
    EXPECT_FALSE(rule_storable("Subject", "a\nb") || add_rule(folder, "Subject", "a\nb") ||
                 add_rule(dir.cp("missing/"), "Subject", "abc") || delete_rule(folder, "Subject", "nothing"));
    EXPECT_EQ(list_rules(folder).size(), 3u);
    // An edit that cannot be stored keeps the old rule (edits that can, one line too long and the last rule
    // deleted are met through the arrange dialog).
    EXPECT_TRUE(!replace_rule(folder, "From", "boss", "From", "a\nb") && rule_exists(folder, "From", "boss"));
    // A rule that is not there is not edited; one that is takes the place of the old one.
    EXPECT_TRUE(!replace_rule(folder, "From", "nobody", "To", "x") && replace_rule(folder, "From", "boss", "To", "x"));
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
        ASSERT_TRUE(make_directory(dir.cp("dest/")) && add_rule(dir.cp("dest/"), c.header, c.keyword));
        write_message(dir / "inbox/.0/", {c.header_file, "\r\nbody\r\n"}, type_status('!'));  // no "0" when empty
        recording_reporter report;
        arrange_run(dir.cp("inbox/"), dir.cp(), report);
        EXPECT_EQ(std::pair(exists(dir / "dest/.0"), exists(dir / "inbox/.0")), std::pair(c.moved, !c.moved));
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
