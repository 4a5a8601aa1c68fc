#include <gtest/gtest.h>

#include "store/folder_operations.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::list_names;
using test::read_bytes;
using test::recording_reporter;
using test::sj;
using test::temp_dir;
using test::write_bytes;
using names = std::vector<std::string>;

const std::string rules = "(1) 次の文字は使用できません.\n    \"*/:<>?\\|\n\n(2) 使用できない名前です.\n\n(3) 先頭の.は許されません.";
const std::string taken = "すでに同名のものが存在します.";
const std::string file_error = "ファイルの読み書きに失敗しました.";

TEST(MakeFolder, NameRulesThenExistenceThenTheDirectory) {
    temp_dir dir;
    write_bytes(dir / "shown/taken", "");
    // "表" and "ソ" end with the byte of "\": only characters count.
    const std::pair<const char*, std::string> cases[] = {
        {"nul", rules},  {"CoN", rules},   {"COM3", rules}, {"lpt5", rules}, {"LPT9", rules},  {".hidden", rules},
        {"送信控", rules}, {" 受信箱", rules}, {"a*b", rules}, {"a\\b", rules}, {"..", rules},   {"taken", taken},
        {"", taken},     {"lpt0", ""},      {"com5", ""},    {"lpt10", ""},   {"nul.txt", ""}, {"表ソ札", ""}};
    for (const auto& [name, message] : cases) {
        recording_reporter report;
        EXPECT_EQ(make_folder(dir.cp("shown/"), sj(name), report), message.empty()) << name;
        EXPECT_EQ(report.texts(), message.empty() ? names{} : names{message}) << name;
        for (const auto& shown : report.shown) EXPECT_EQ(shown.first, message_kind::notice);
    }
    EXPECT_EQ(list_names(dir / "shown"), (names{"com5", "lpt0", "lpt10", "nul.txt", "taken", "表ソ札"}));
    recording_reporter report;
    EXPECT_FALSE(make_folder(dir.cp("missing/"), "new", report));
    EXPECT_EQ(report.shown, (decltype(report.shown){{message_kind::error, sj(file_error)}}));
}

TEST(RenameFolder, CaseChangesNeverMergeTwoFolders) {
    temp_dir dir;
    std::string shown = dir.cp("shown/");
    write_bytes(dir / "shown/Work/a", "work mail");
    recording_reporter report;
    EXPECT_TRUE(rename_folder(shown, "Work", "work", report));  // no other "work": a plain rename
    write_bytes(dir / "shown/Work/b", "other mail");
    EXPECT_FALSE(rename_folder(shown, "work", "Work", report));  // a different "Work" exists
    EXPECT_EQ(list_names(dir / "shown/Work"), names{"b"});
    EXPECT_EQ(read_bytes(dir / "shown/work/a"), "work mail");
    EXPECT_TRUE(rename_folder(shown, "work", "work", report));   // unchanged: nothing to do
    EXPECT_FALSE(rename_folder(shown, "work", sj("草稿"), report));
    EXPECT_FALSE(rename_folder(shown, sj("草稿"), "drafts", report));  // special: silently refused
    EXPECT_FALSE(rename_folder(shown, "gone", "other", report));
    EXPECT_TRUE(rename_folder(shown, "work", sj("旧仕事"), report));
    EXPECT_EQ(report.texts(), (names{taken, rules, file_error}));
    EXPECT_EQ(list_names(dir / "shown"), (names{"Work", "旧仕事"}));
}

TEST(ChangeSubject, RewritesTheHeaderOfTheMessage) {
    temp_dir dir;
    write_bytes(dir / "f/.3/0", "From: a@example.com\r\nSubject: old\r\nTo: b@example.com\r\n");
    recording_reporter report;
    EXPECT_TRUE(change_subject(dir.cp("f/"), "3", sj("新件名"), report));
    EXPECT_EQ(read_bytes(dir / "f/.3/0"), "From: a@example.com\r\nSubject: " + sj("新件名") + "\r\nTo: b@example.com\r\n");
    EXPECT_FALSE(change_subject(dir.cp("f/"), "3", "two\nlines", report));
    EXPECT_FALSE(change_subject(dir.cp("f/"), "../f/.3", "x", report));
    EXPECT_EQ(report.texts(), (names{file_error, file_error}));
}

}  // namespace
}  // namespace qm
