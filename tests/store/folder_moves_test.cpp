#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/folder_operations.h"
#include "store/mailbox_layout.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::exists;
using test::list_names;
using test::read_bytes;
using test::recording_reporter;
using test::sj;
using test::write_bytes;
using names = std::vector<std::string>;
const std::string file_error = "ファイルの読み書きに失敗しました.";
const names message_files = {"0", "1", "status.ini"};

// A mailbox with the accounts "acc" and "other" and their special folders.
struct mailbox {
    test::temp_dir dir;
    std::string root = dir.cp();
    std::string acc = root + "acc/";
    mailbox() {
        for (const char* account : {"acc/", "other/"}) {
            write_bytes(dir / (std::string(account) + "account.ini"), "");
            make_special_folders(root + account);
        }
    }
    std::string at(const std::string& relative) const { return dir / ("acc/" + relative); }
    std::string cp(const std::string& relative) const {
        return relative.rfind("../", 0) == 0 ? root + sj(relative.substr(3)) : acc + sj(relative);
    }
    void message(const std::string& folder, int number, char type) const {
        std::string base = at(folder + "." + std::to_string(number) + "/");
        write_bytes(base + "0", "Subject: s\r\n");
        write_bytes(base + "1", "\r\nbody\r\n");
        write_bytes(base + "status.ini", std::string("[mail status]\r\ntype=") + type + "\r\n");
    }
    folder_place place(const std::string& folder) const { return {root, acc, cp(folder)}; }
};

selected_row mail(int number, char type) { return {false, std::to_string(number), type}; }
selected_row folder(const char* name) { return {true, sj(name), ' '}; }

TEST(MoveRows, EachTypeOfMailGoesOnlyWhereItBelongs) {
    const std::string types = " !SDX";  // read, new, sent, draft, unknown
    const std::pair<const char*, std::string> cases[] = {
        {" 受信箱/", " !X"}, {" 送信箱/", "DX"},    {" 送信箱/草稿/", "DX"}, {" 送信箱/送信控/", "SX"},
        {" ごみ箱/", " !SDX"}, {"仕事/", " !SX"}, {"../other/ 送信箱/", "DX"}};
    for (const auto& [target, expected] : cases) {
        mailbox box;
        std::vector<selected_row> rows;
        for (int i = 0; i < 5; ++i) box.message("mine/", i, types[i]), rows.push_back(mail(i, types[i]));
        write_bytes(box.at("仕事/.keep"), "");
        recording_reporter report;
        move_result result = move_rows(box.place("mine/"), box.cp(target), rows, report);
        std::string moved;
        for (std::size_t n = 0; n < result.moved.size(); ++n) {
            char type = types[result.moved[n].index];
            moved += type;
            EXPECT_EQ(result.moved[n].new_path, box.cp(target) + "." + std::to_string(n) + "/");
            std::string now = box.at(std::string(target) + "." + std::to_string(n) + "/");
            EXPECT_EQ(list_names(now), message_files);
            EXPECT_EQ(read_bytes(now + "status.ini"), std::string("[mail status]\r\ntype=") + type + "\r\n");
        }
        EXPECT_EQ(moved, expected) << target;
        EXPECT_EQ(list_names(box.at("mine")).size(), 5 - moved.size());
        EXPECT_TRUE(report.shown.empty() && !result.failed);
    }
}

TEST(MoveRows, FoldersTakeFreeNamesAndNeverMoveIntoThemselves) {
    mailbox box;
    for (const char* path : {"mine/work/sub/.0/0", "mine/草稿/.keep", "mine/b/.keep", "to/work/.keep", "to/work_"})
        write_bytes(box.at(path), "x");
    recording_reporter report;
    for (const char* target : {"mine/work/", "mine/work/sub/", "mine/", " 受信箱/", " 送信箱/草稿/", "../"})
        EXPECT_TRUE(move_rows(box.place("mine/"), box.cp(target), {folder("work")}, report).moved.empty()) << target;
    move_result result =
        move_rows(box.place("mine/"), box.cp("to/"), {folder("草稿"), folder(".."), folder("work"), folder("b")}, report);
    ASSERT_EQ(result.moved.size(), 2u);
    EXPECT_EQ(result.moved[0].index, 2u);
    EXPECT_EQ(result.moved[0].new_path, box.cp("to/work__/"));
    EXPECT_EQ(read_bytes(box.at("to/work__/sub/.0/0")), "x");
    EXPECT_EQ(list_names(box.at("mine")), names{"草稿"});
    EXPECT_TRUE(report.shown.empty());
}

TEST(MoveRows, AFailedStepStopsTheRunReportsOnceAndSplitsNoMessage) {
    mailbox box;
    box.message("mine/", 0, ' ');
    box.message("mine/", 1, ' ');
    recording_reporter report;
    // The second row's message is gone: the third is not tried.
    std::vector<selected_row> rows = {mail(0, ' '), mail(7, ' '), mail(1, ' ')};
    move_result result = move_rows(box.place("mine/"), box.cp(" ごみ箱/"), rows, report);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.moved.size(), 1u);
    EXPECT_EQ(list_names(box.at("mine/.1")), message_files);
    // A directory that cannot be emptied (a name the store cannot list): the
    // message goes back whole.
    write_bytes(box.at("mine/.1/\xff"), "");
    EXPECT_TRUE(move_rows(box.place("mine/"), box.cp(" ごみ箱/"), {mail(1, ' ')}, report).moved.empty());
    EXPECT_EQ(list_names(box.at("mine/.1")), (names{"0", "1", "status.ini", "\xff"}));
    EXPECT_EQ(list_names(box.at(" ごみ箱")), names{".0"});
    EXPECT_EQ(report.texts(), (names{file_error, file_error}));
}

TEST(MoveRows, ADraftOpenInAnEditorStaysWhereItIs) {
    mailbox box;
    box.message(" 送信箱/草稿/", 0, 'D');
    box.message(" 送信箱/草稿/", 1, 'D');
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready) | ::pipe(release), 0);
    pid_t editor = ::fork();
    if (editor == 0) {  // holds "1" open as an editor does, until released
        ::alarm(60);
        ::close(release[1]);
        int fd = ::open(box.at(" 送信箱/草稿/.0/1").c_str(), O_RDWR);
        (void)!::write(ready[1], fd >= 0 ? "y" : "n", 1);
        char c;
        (void)!::read(release[0], &c, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char c = 0;
    EXPECT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    recording_reporter report;
    std::vector<selected_row> rows = {mail(0, 'D'), mail(1, 'D')};
    move_result result = move_rows(box.place(" 送信箱/草稿/"), box.cp(" ごみ箱/"), rows, report);
    ::close(release[1]);
    ::waitpid(editor, nullptr, 0);
    ASSERT_EQ(c, 'y');
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_EQ(result.moved[0].index, 1u);
    EXPECT_EQ(list_names(box.at(" 送信箱/草稿/.0")), message_files);
    EXPECT_EQ(move_rows(box.place(" 送信箱/草稿/"), box.cp(" ごみ箱/"), {rows[0]}, report).moved.size(), 1u);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(fixed_move_target(box.acc, box.cp(" 送信箱/草稿/")), box.cp(" 送信箱/"));
    EXPECT_EQ(fixed_move_target(box.acc, box.cp(" 送信箱/")), box.cp(" 送信箱/草稿/"));
}

TEST(MoveFolder, DraggingAFolderInTheTree) {
    mailbox box;
    write_bytes(box.at("work/sub/.0/0"), "x");
    write_bytes(box.at("to/work/.keep"), "");
    recording_reporter report;
    for (const char* target : {" 受信箱/", " 送信箱/送信控/", "work/", "work/sub/", ""})
        EXPECT_FALSE(move_folder(box.place(""), box.cp("work/"), box.cp(target), report).moved) << target;
    EXPECT_FALSE(move_folder(box.place(""), box.cp(" 受信箱/"), box.cp("to/"), report).moved);
    folder_move_result result = move_folder(box.place("work/sub/"), box.cp("work/"), box.cp("to/"), report);
    EXPECT_TRUE(result.moved);
    EXPECT_EQ(result.new_path, box.cp("to/work_/"));
    EXPECT_EQ(result.show_folder, box.acc);  // the folder shown lay inside
    EXPECT_EQ(read_bytes(box.at("to/work_/sub/.0/0")), "x");
    EXPECT_FALSE(move_folder(box.place(""), box.cp("work/"), box.cp("to/"), report).moved);  // gone
    EXPECT_EQ(report.texts(), names{file_error});
}

TEST(EmptyTrash, EverythingGoesExceptTheTrashRules) {
    mailbox box;
    for (const char* path : {" ごみ箱/arrange.lst", " ごみ箱/.0/0", " ごみ箱/old/.0/0", " ごみ箱/old/arrange.lst"})
        write_bytes(box.at(path), "\trule\r\n");
    recording_reporter report;
    report.answer = false;
    EXPECT_TRUE(empty_trash(box.acc, box.cp(" ごみ箱/old/"), report).cancelled);
    EXPECT_EQ(list_names(box.at(" ごみ箱")).size(), 3u);
    report.answer = true;
    empty_trash_result result = empty_trash(box.acc, box.cp(" ごみ箱/old/"), report);
    EXPECT_TRUE(result.emptied);
    EXPECT_EQ(result.show_folder, box.cp(" ごみ箱/"));
    EXPECT_EQ(list_names(box.at(" ごみ箱")), names{"arrange.lst"});
    EXPECT_EQ(read_bytes(box.at(" ごみ箱/arrange.lst")), "\trule\r\n");
    // Stopped half-way: the rules stay, one message says so.
    write_bytes(box.at(" ごみ箱/stuck/\xff"), "");
    result = empty_trash(box.acc, box.cp(" 受信箱/"), report);
    EXPECT_FALSE(result.emptied || result.show_folder);
    EXPECT_TRUE(exists(box.at(" ごみ箱/arrange.lst")));
    names question(3, "ごみ箱を空にしますか?");
    question.push_back(file_error);
    EXPECT_EQ(report.texts(), question);
}

}  // namespace
}  // namespace qm
