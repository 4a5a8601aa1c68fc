#include <algorithm>
#include <filesystem>

#include "platform/program_context.h"
#include "store/arrange_rules.h"
#include "store/mailbox_layout.h"
#include "navigator/window_close.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

void message(const std::string& utf8_dir, const std::string& header) {
    write_message(utf8_dir, {header, "\r\nbody\r\n"}, type_status('R'));
}

// Accounts A and B, each with mail in its inbox and trash, a rule in its trash, and files closing must leave alone.
class WindowClose : public ::testing::Test {
protected:
    WindowClose() {
        set_context({dir.cp("data/"), dir.cp("tmp/"), dir.cp("tmp/quillmere.$$$/"), dir.cp("data/")});
        for (const char* account : {"A", "B"}) {
            const std::string root = dir / ("data/mailbox/" + std::string(account) + "/");
            fs::create_directories(root);
            EXPECT_TRUE(make_special_folders(sj(root)));
            for (const auto& [where, header] : std::map<std::string, std::string>{
                     {" 受信箱/.0/", "From: friend@example.com\r\nSubject: hello\r\n"},
                     {" 受信箱/.1/", "From: spam@example.com\r\nSubject: offer\r\n"},
                     {" 受信箱/.2/", "From: other@example.com\r\nSubject: other\r\n"}, {" ごみ箱/.0/", "Subject: old\r\n"},
                     {" ごみ箱/kept folder/.0/", "Subject: older\r\n"}})
                message(root + where, header);
            write_bytes(root + " ごみ箱/note.txt", "loose file");
            EXPECT_TRUE(add_rule(sj(root + " ごみ箱/"), "From", "spam"));
        }
        // Only A sorts "hello" into a folder of its own.
        fs::create_directories(dir / "data/mailbox/A/friends");
        EXPECT_TRUE(add_rule(sj(dir / "data/mailbox/A/friends/"), "Subject", "hello"));
        before = tree_snapshot(dir / "data");
    }

    // The tree now and before, each without the entries whose path holds one of `changed`.
    static std::map<std::string, std::string> without(std::map<std::string, std::string> tree, const names& changed) {
        std::erase_if(tree, [&](const auto& entry) {
            return std::any_of(changed.begin(), changed.end(), [&](const std::string& c) { return entry.first.find(c) != std::string::npos; });
        });
        return tree;
    }
    bool only_changed(const names& changed) const { return without(tree_snapshot(dir / "data"), changed) == without(before, changed); }

    const saved_context saved;
    temp_dir dir;
    const std::string mailbox = dir.cp("data/mailbox/");
    std::map<std::string, std::string> before;
    recording_reporter report;
};

TEST_F(WindowClose, EachStepOnlyWithItsSettingAndBothInEveryAccountKeepingTheTrashRules) {
    Settings settings;
    settings.arrange_at_terminate = settings.clear_trash = false;
    run_close_steps(mailbox, settings, report);
    EXPECT_EQ(tree_snapshot(dir / "data"), before);

    settings.clear_trash = true;  // the trash only: the inbox keeps its spam
    run_close_steps(mailbox, settings, report);
    EXPECT_EQ(list_names(dir / "data/mailbox/A/ 受信箱"), (names{".0", ".1", ".2"}));
    EXPECT_EQ(list_names(dir / "data/mailbox/B/ ごみ箱"), names{"arrange.lst"});

    settings.clear_trash = false;  // arranging only: the spam stays in the trash
    settings.arrange_at_terminate = true;
    run_close_steps(mailbox, settings, report);
    EXPECT_EQ(list_names(dir / "data/mailbox/B/ ごみ箱"), (names{".0", "arrange.lst"}));

    // Both: in both accounts the trash rule has taken the spam out of the inbox and the emptying takes it away;
    // in A "hello" went to its folder. Nothing else changes.
    settings.clear_trash = true;
    run_close_steps(mailbox, settings, report);
    EXPECT_EQ(report.texts(), names{});
    for (const char* account : {"A", "B"}) {
        const std::string root = dir / ("data/mailbox/" + std::string(account) + "/");
        EXPECT_EQ(list_names(root + " ごみ箱"), names{"arrange.lst"}) << account;
        EXPECT_EQ(read_bytes(root + " ごみ箱/arrange.lst"), "\tFrom:spam\r\n") << account;
    }
    EXPECT_EQ(list_names(dir / "data/mailbox/A/ 受信箱"), names{".2"});
    EXPECT_EQ(list_names(dir / "data/mailbox/B/ 受信箱"), (names{".0", ".2"}));
    EXPECT_EQ(read_bytes(dir / "data/mailbox/A/friends/.0/0"), "From: friend@example.com\r\nSubject: hello\r\n");
    EXPECT_TRUE(only_changed({" ごみ箱", " 受信箱/.0", " 受信箱/.1", "A/friends/.0"}));
}

TEST_F(WindowClose, UnsentMailIsAskedAboutOnceWhenTheSettingSaysSo) {
    Settings settings;
    EXPECT_TRUE(close_may_proceed(mailbox, settings, report));
    message(dir / "data/mailbox/B/ 送信箱/.0/", "To: x@example.com\r\n");
    message(dir / "data/mailbox/A/ 送信箱/.4/", "To: x@example.com\r\n");
    EXPECT_EQ(first_account_with_unsent_mail(mailbox), "A");

    report.answer = false;
    EXPECT_FALSE(close_may_proceed(mailbox, settings, report));
    EXPECT_EQ(report.shown, (decltype(report.shown){
                                {message_kind::confirm, sj("送信箱に未送信のメールが残っていますが終了しますか?")}}));
    settings.tell_remain = false;
    EXPECT_TRUE(close_may_proceed(mailbox, settings, report));
    EXPECT_EQ(report.shown.size(), 1u);
}

}  // namespace
}  // namespace qm::test
