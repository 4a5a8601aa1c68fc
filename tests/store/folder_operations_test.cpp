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
    std::string target(const std::string& relative) const {
        return relative.rfind("../", 0) == 0 ? dir.cp(relative.substr(3)) : cp(relative);
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
    message("mine/", 0, ' ');
    message("mine/", 1, ' ');
    // The second row's message is gone: the third is not tried.
    move_result result = move_rows(place("mine/"), cp(" ごみ箱/"), {mail(0, ' '), mail(7, ' '), mail(1, ' ')}, report);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.moved.size(), 1u);
    EXPECT_EQ(list_names(at("mine/.1")), (names{"0", "1", "status.ini"}));
    EXPECT_EQ(report.texts(), names{file_error});
}

TEST_F(FolderMoves, DraggingAFolderInTheTree) {
    write_bytes(at("work/sub/.0/0"), "x");
    write_bytes(at("to/work/.keep"), "");
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
    EXPECT_EQ(report.texts().back(), file_error);
    EXPECT_EQ(report.shown.size(), 3u);  // a question each, and one message for the failure
}

}  // namespace
}  // namespace qm::test
