#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/file_operations.h"
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

TEST(MailboxLayout, SpecialFoldersHaveTheirFixedNames) {
    EXPECT_EQ(special_folder_path(special_folder::inbox), sj(" 受信箱/"));
    EXPECT_EQ(special_folder_path(special_folder::outbox), sj(" 送信箱/"));
    EXPECT_EQ(special_folder_path(special_folder::drafts), sj(" 送信箱/草稿/"));
    EXPECT_EQ(special_folder_path(special_folder::sent), sj(" 送信箱/送信控/"));
    EXPECT_EQ(special_folder_path(special_folder::trash), sj(" ごみ箱/"));

    temp_dir dir;
    std::string account = dir.cp("標準アカウント/");
    ASSERT_TRUE(make_directory(account));
    ASSERT_TRUE(make_special_folders(account));
    EXPECT_EQ(list_names(dir / "標準アカウント"), (std::vector<std::string>{" ごみ箱", " 受信箱", " 送信箱"}));
    EXPECT_EQ(list_names(dir / "標準アカウント/ 送信箱"), (std::vector<std::string>{"草稿", "送信控"}));
    EXPECT_TRUE(make_special_folders(account));  // again: nothing changes

    EXPECT_EQ(which_special_folder(account, account + sj(" 送信箱/草稿/")), special_folder::drafts);
    EXPECT_EQ(which_special_folder(account, account + sj("仕事/ 受信箱/")), std::nullopt);
    EXPECT_EQ(which_special_folder(account, account + sj(" 受信箱")), std::nullopt);
}

TEST(MailboxLayout, NewMessagesTakeTheLowestFreeNumber) {
    temp_dir dir;
    recording_reporter report;
    EXPECT_EQ(new_message_directory(dir.cp(), std::nullopt, report), 0);
    for (int n : {1, 3}) ASSERT_TRUE(make_directory(message_directory(dir.cp(), n)));
    EXPECT_EQ(new_message_directory(dir.cp(), std::nullopt, report), 2);
    EXPECT_EQ(new_message_directory(dir.cp(), std::nullopt, report), 4);
    // A file named like a message directory also takes the number.
    write_bytes(dir / ".5", "");
    EXPECT_EQ(new_message_directory(dir.cp(), std::nullopt, report), 6);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(message_directory(dir.cp(), 12), dir.cp(".12/"));
    EXPECT_EQ(part_file(dir.cp(".12/"), 0), dir.cp(".12/0"));
}

TEST(MailboxLayout, ContentsOfASourceMoveIntoTheNewMessage) {
    temp_dir dir;
    recording_reporter report;
    write_bytes(dir / "work/0", "Subject: x\r\n");
    write_bytes(dir / "work/1", "\r\nbody\r\n");
    ::chmod((dir / "work/0").c_str(), 0444);
    write_bytes(dir / "folder/.0/0", "older");
    int n = new_message_directory(dir.cp("folder/"), dir.cp("work/"), report);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(read_bytes(dir / "folder/.1/0"), "Subject: x\r\n");
    EXPECT_EQ(read_bytes(dir / "folder/.1/1"), "\r\nbody\r\n");
    EXPECT_TRUE(list_names(dir / "work").empty());
    EXPECT_TRUE(exists(dir / "work"));  // the caller removes the source
    EXPECT_TRUE(report.shown.empty());
}

TEST(MailboxLayout, FailuresReportAndLeaveNoHalfMessage) {
    temp_dir dir;
    recording_reporter report;
    // The folder does not exist.
    EXPECT_EQ(new_message_directory(dir.cp("none/"), std::nullopt, report), -1);
    // The source cannot be moved whole: its "1" clashes with nothing, but
    // the source is missing altogether.
    ::mkdir((dir / "folder").c_str(), 0700);
    EXPECT_EQ(new_message_directory(dir.cp("folder/"), dir.cp("missing/"), report), -1);
    EXPECT_TRUE(list_names(dir / "folder").empty());
    EXPECT_EQ(report.texts(), (std::vector<std::string>{"ファイルの読み書きに失敗しました.",
                                                       "ファイルの読み書きに失敗しました."}));
    EXPECT_EQ(report.shown[0].first, message_kind::error);
}

}  // namespace
}  // namespace qm
