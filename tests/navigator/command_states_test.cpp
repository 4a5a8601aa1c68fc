#include <algorithm>

#include "config/folder_names.h"
#include "navigator/command_states.h"
#include "platform/string_table.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

// The commands the rules decide, and which of them are on.
const std::vector<int> ruled = {203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 220, 221, 267};

std::vector<int> on(const command_states& states) {
    std::vector<int> result;
    for (int command : ruled)
        if (states.enabled(command)) result.push_back(command);
    return result;
}

class CommandStates : public store_test {
protected:
    CommandStates() {
        message(" 受信箱/", 1, '!', {"From: a@example.com\r\nSubject: new\r\n", "\r\nbody\r\n"});
        message(" 受信箱/", 2, 'R', {"Subject: no people\r\nX-Tool: To be\r\n", "\r\nbody\r\n"});
        message(" 受信箱/", 3, 'R',
                {"Cc: c@example.com\r\n", "\r\nbody\r\n", "Content-Type: application/pdf\r\n\r\nJVBE\r\n"});
        message(" 受信箱/", 4, '!', {"To: t@example.com\r\n", "Content-Type: text/html\r\n\r\n<p>only html</p>\r\n"});
        message(" 受信箱/", 5, 'R', {"Sender: s@example.com\r\n"});
        message(" 送信箱/草稿/", 0, 'D', {"Subject: draft\r\n", "body\r\n"});
        message(" 送信箱/送信控/", 0, 'S', {"To: t@example.com\r\n", "\r\nsent\r\n"});
        message(" 送信箱/送信控/", 1, 'S', {"", "\r\nsent\r\n", "Content-Type: image/png\r\n\r\niVBO\r\n"});
        message(" ごみ箱/", 0, 'R', {"From: a@example.com\r\n", "\r\nbody\r\n"});
        message(" ごみ箱/", 1, 'R', {"From: a@example.com\r\n", "\r\nbody\r\n"});
        write_bytes(at(" ごみ箱/old/.0/0"), "From: a@example.com\r\n");
        write_bytes(at("work/.0/0"), "From: a@example.com\r\n");
        write_bytes(at("work/inner/.0/0"), "From: a@example.com\r\n");
    }
    // The rows of a folder below the account, as the list builds them.
    void show(std::string_view relative) {
        folder = cp(relative);
        rows = build_mail_list(folder, account, "");
    }
    int message_row(int number) const {
        auto found = std::find_if(rows.begin(), rows.end(), [&](const mail_row& r) { return r.number == number; });
        EXPECT_NE(found, rows.end()) << number;
        return static_cast<int>(found - rows.begin());
    }
    int folder_row_named(std::string_view utf8_name) const {
        auto found = std::find_if(rows.begin(), rows.end(),
                                  [&](const mail_row& r) { return r.is_folder() && r.text[column_subject] == sj(utf8_name); });
        EXPECT_NE(found, rows.end()) << utf8_name;
        return static_cast<int>(found - rows.begin());
    }
    std::vector<int> with(const std::vector<int>& selected, int focused = -1) const {
        return on(compute_command_states(account, folder, rows, selected, focused));
    }
    std::vector<int> with_message(int number) const { return with({message_row(number)}); }

    std::string folder;
    std::vector<mail_row> rows;
};

TEST_F(CommandStates, TwoMailsEnableOpenAndMoveButNoSingleMailCommands) {
    // 再送 needs a sent mail among the rows, and says so when there is none.
    show(" 受信箱/");
    EXPECT_EQ(with({message_row(1), message_row(3)}), (std::vector<int>{203, 204, 210, 212, 220, 221}));
    EXPECT_EQ(compute_command_states(account, folder, rows, {message_row(1), message_row(3)}, -1).reason(cmd::resend),
              str::reason_no_sent_mail);
    show(" 送信箱/送信控/");
    EXPECT_EQ(with({message_row(0), message_row(1)}), (std::vector<int>{203, 204, 209, 210, 212, 220, 221}));
    // A mail and a folder count as two rows too.
    show("work/");
    EXPECT_EQ(with({message_row(0), folder_row_named("inner")}), (std::vector<int>{203, 204, 210, 212, 213, 220, 221}));
    // In the trash, and in a folder inside it, nothing goes to the trash.
    show(" ごみ箱/");
    EXPECT_EQ(with({message_row(0), message_row(1)}), (std::vector<int>{203, 204, 210, 213, 220, 221}));
    show(" ごみ箱/old/");
    EXPECT_EQ(with({message_row(0), 0}), (std::vector<int>{203, 204, 210, 213, 220, 221}));
}

TEST_F(CommandStates, ReceivedMailByItsAddressFieldsAndParts) {
    show(" 受信箱/");
    // From: the address list, reply and forward; one text part: no attachment list.
    EXPECT_EQ(with_message(1), (std::vector<int>{203, 204, 205, 207, 208, 210, 212, 220, 221}));
    // No address field ("X-Tool: To be" is none): no address list.
    EXPECT_EQ(with_message(2), (std::vector<int>{203, 204, 207, 208, 210, 212, 220, 221}));
    // Cc and a part "2" beside the text part.
    EXPECT_EQ(with_message(3), (std::vector<int>{203, 204, 205, 206, 207, 208, 210, 212, 220, 221}));
    // No text/plain part: part "1" is an attachment.
    EXPECT_EQ(with_message(4), (std::vector<int>{203, 204, 205, 206, 207, 208, 210, 212, 220, 221}));
    // Sender, and no part at all.
    EXPECT_EQ(with_message(5), (std::vector<int>{203, 204, 205, 207, 208, 210, 212, 220, 221}));
    // Nothing selected: the focused row decides; nothing focused either: 203 to 212 off.
    EXPECT_EQ(with({}, message_row(3)), with_message(3));
    EXPECT_EQ(with({}), (std::vector<int>{220, 221}));
    EXPECT_EQ(with({-1, static_cast<int>(rows.size())}), (std::vector<int>{220, 221}));  // no such rows
}

TEST_F(CommandStates, DraftsAndSentMail) {
    show(" 送信箱/草稿/");
    EXPECT_EQ(with_message(0), (std::vector<int>{203, 204, 205, 206, 210, 211, 212, 220, 221, 267}));
    // 送信 takes drafts only, from the drafts folder or the outbox, never from the trash.
    message(" 送信箱/草稿/", 1, 'D', {"Subject: second\r\n", "body\r\n"});
    message(" 送信箱/", 0, 'D', {"Subject: queued\r\n", "\r\nbody\r\n"});
    message(" ごみ箱/", 2, 'D', {"Subject: thrown\r\n", "body\r\n"});
    show(" 送信箱/草稿/");
    EXPECT_TRUE(compute_command_states(account, folder, rows, {message_row(0), message_row(1)}, -1).enabled(267));
    EXPECT_FALSE(compute_command_states(account, folder, rows, {message_row(0), 0}, -1).enabled(267));
    show(" 送信箱/");
    EXPECT_TRUE(compute_command_states(account, folder, rows, {}, message_row(0)).enabled(267));
    show(" ごみ箱/");
    EXPECT_FALSE(compute_command_states(account, folder, rows, {}, message_row(2)).enabled(267));
    show(" 送信箱/送信控/");
    EXPECT_EQ(with_message(0), (std::vector<int>{203, 204, 205, 209, 210, 212, 220, 221}));
    EXPECT_EQ(with_message(1), (std::vector<int>{203, 204, 205, 206, 209, 210, 212, 220, 221}));
}

TEST_F(CommandStates, SpecialFolderRowsAndTheAccountDirectory) {
    show("");
    EXPECT_EQ(rows.size(), 4u);  // the account directory shows no ".." row
    for (const char* name : {" 受信箱", " 送信箱", " ごみ箱"})
        EXPECT_EQ(with({folder_row_named(name)}), (std::vector<int>{203, 213})) << name;
    EXPECT_EQ(with({folder_row_named("work")}), (std::vector<int>{203, 210, 211, 212, 213}));
    show(" 送信箱/");
    for (const char* name : {"..", "草稿", "送信控"})
        EXPECT_EQ(with({folder_row_named(name)}), (std::vector<int>{203, 220, 221})) << name;
    show(" ごみ箱/");
    EXPECT_EQ(with({folder_row_named("old")}), (std::vector<int>{203, 210, 211, 213, 220, 221}));
    show("work/");
    EXPECT_EQ(with({}, folder_row_named("inner")), (std::vector<int>{203, 210, 211, 212, 213, 220, 221}));
}

TEST_F(CommandStates, NewFolderIsOffInTheFourFixedFolders) {
    for (auto [relative, allowed] : {std::pair{" 受信箱/", false}, {" 送信箱/", false}, {" 送信箱/草稿/", false},
                                     {" 送信箱/送信控/", false}, {"", true}, {" ごみ箱/old/", true}, {"work/inner/", true},
                                     {" 受信箱/sub/", true}}) {
        show(relative);
        const command_states states = compute_command_states(account, folder, rows, {}, -1);
        EXPECT_EQ(states.enabled(cmd::new_folder), allowed) << relative;
        EXPECT_EQ(states.enabled(cmd::tree_new_folder), allowed) << relative;
    }
    // Commands without a rule are always on.
    const command_states none = compute_command_states(account, cp(" 受信箱/"), {}, {}, -1);
    for (int command : {200, 214, 219, 222, 235, 259, 501}) EXPECT_TRUE(none.enabled(command)) << command;
}

TEST(SpecialRows, SpecialFolderRowsAndFixedNamesForTheTreeDrag) {
    for (const char* name : {"..", " ごみ箱", " 受信箱", " 送信箱", "草稿", "送信控"}) {
        EXPECT_TRUE(is_special_row(folder_row(sj(name)))) << name;
        EXPECT_EQ(is_fixed_folder_name(sj(name)), name != std::string("..")) << name;  // ".." is no tree item
    }
    // Full-width letters have no case.
    for (const char* name : {"受信箱", " 受信箱 ", "work", "...", "草稿2", " 送信箱/草稿", "ＷＯＲＫ"}) {
        EXPECT_FALSE(is_special_row(folder_row(sj(name)))) << name;
        EXPECT_FALSE(is_fixed_folder_name(sj(name))) << name;
    }
    mail_row mail;
    mail.number = 3;
    mail.text[column_subject] = sj(" 受信箱");
    EXPECT_FALSE(is_special_row(mail));
}

}  // namespace
}  // namespace qm::test
