#include <algorithm>
#include <sstream>

#include "config/folder_names.h"
#include "navigator/command_states.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

// The commands the rules decide.
const std::vector<int> ruled = {203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 220, 221, 267};

class CommandStates : public store_test {
protected:
    CommandStates() {
        message(" 受信箱/", 1, '!', {"From: a@example.com\r\nSubject: new\r\n", "\r\nbody\r\n"});
        message(" 受信箱/", 2, 'R', {"Subject: no people\r\nX-Tool: To be\r\n", "\r\nbody\r\n"});
        message(" 受信箱/", 3, 'R',
                {"Cc: c@example.com\r\n", "\r\nbody\r\n", "Content-Type: application/pdf\r\n\r\nJVBE\r\n"});
        message(" 受信箱/", 4, '!', {"To: t@example.com\r\n", "Content-Type: text/html\r\n\r\n<p>only html</p>\r\n"});
        message(" 受信箱/", 5, 'R', {"Sender: s@example.com\r\n"});
        message(" 送信箱/", 0, 'D', {"Subject: queued\r\n", "\r\nbody\r\n"});
        message(" 送信箱/草稿/", 0, 'D', {"Subject: draft\r\n", "body\r\n"});
        message(" 送信箱/草稿/", 1, 'D', {"Subject: second\r\n", "body\r\n"});
        message(" 送信箱/送信控/", 0, 'S', {"To: t@example.com\r\n", "\r\nsent\r\n"});
        message(" 送信箱/送信控/", 1, 'S', {"", "\r\nsent\r\n", "Content-Type: image/png\r\n\r\niVBO\r\n"});
        for (int n : {0, 1}) message(" ごみ箱/", n, 'R', {"From: a@example.com\r\n", "\r\nbody\r\n"});
        message(" ごみ箱/", 2, 'D', {"Subject: thrown\r\n", "body\r\n"});
        for (const char* path : {" ごみ箱/old/.0/0", "work/.0/0", "work/inner/.0/0"})
            write_bytes(at(path), "From: a@example.com\r\n");
    }
    // The rows of `folder` (below the account); in `selected` (comma-separated) and `focused` a number names a
    // mail, "/x" the folder row x, "#n" the row n.
    command_states states(const std::string& folder, const std::string& selected, const std::string& focused = "") {
        const std::vector<mail_row> rows = build_mail_list(cp(folder), account, "");
        auto index = [&](const std::string& token) -> int {
            if (token[0] == '#') return std::stoi(token.substr(1));
            auto found = std::find_if(rows.begin(), rows.end(), [&](const mail_row& r) {
                return token[0] == '/' ? r.is_folder() && r.text[column_subject] == sj(token.substr(1))
                                       : !r.is_folder() && r.number == std::stoi(token);
            });
            EXPECT_NE(found, rows.end()) << token;
            return static_cast<int>(found - rows.begin());
        };
        std::vector<int> chosen;
        std::istringstream words(selected);
        for (std::string token; std::getline(words, token, ',');) chosen.push_back(index(token));
        return compute_command_states(account, cp(folder), rows, chosen, focused.empty() ? -1 : index(focused));
    }
};

std::vector<int> on(const command_states& s) {
    std::vector<int> result;
    std::copy_if(ruled.begin(), ruled.end(), std::back_inserter(result), [&](int c) { return s.enabled(c); });
    return result;
}

TEST_F(CommandStates, EachRuleByFolderSelectionAndMail) {
    const struct { const char* folder; const char* selected; const char* focused; std::vector<int> on; } cases[] = {
        // Several rows: open and move, no single-mail command; 再送 only with a sent mail among them; in the
        // trash nothing goes to the trash; a mail and a folder count as two rows too.
        {" 受信箱/", "1,3", "", {203, 204, 210, 212, 220, 221}},
        {" 送信箱/送信控/", "0,1", "", {203, 204, 209, 210, 212, 220, 221}},
        {"work/", "0,/inner", "", {203, 204, 210, 212, 213, 220, 221}},
        {" ごみ箱/", "0,1", "", {203, 204, 210, 213, 220, 221}},
        // Received mail by its address fields ("X-Tool: To be" is none) and parts (no text/plain: part 1 is
        // an attachment; Sender, and no part at all).
        {" 受信箱/", "1", "", {203, 204, 205, 207, 208, 210, 212, 220, 221}},
        {" 受信箱/", "2", "", {203, 204, 207, 208, 210, 212, 220, 221}},
        {" 受信箱/", "3", "", {203, 204, 205, 206, 207, 208, 210, 212, 220, 221}},
        {" 受信箱/", "4", "", {203, 204, 205, 206, 207, 208, 210, 212, 220, 221}},
        {" 受信箱/", "5", "", {203, 204, 205, 207, 208, 210, 212, 220, 221}},
        {" 受信箱/", "", "3", {203, 204, 205, 206, 207, 208, 210, 212, 220, 221}},  // the focused row decides
        {" 受信箱/", "", "", {220, 221}},
        {" 受信箱/", "#-1,#7", "", {220, 221}},  // no such rows
        // Drafts and sent mail; 送信 takes drafts only, from the drafts folder or the outbox, never the trash.
        {" 送信箱/草稿/", "0", "", {203, 204, 205, 206, 210, 211, 212, 220, 221, 267}},
        {" 送信箱/草稿/", "0,1", "", {203, 204, 210, 212, 220, 221, 267}},
        {" 送信箱/草稿/", "0,#0", "", {203, 204, 210, 212, 220, 221}},
        {" 送信箱/", "", "0", {203, 204, 205, 206, 210, 211, 212, 220, 221, 267}},
        {" ごみ箱/", "", "2", {203, 204, 205, 206, 210, 211, 213, 220, 221}},
        {" 送信箱/送信控/", "0", "", {203, 204, 205, 209, 210, 212, 220, 221}},
        {" 送信箱/送信控/", "1", "", {203, 204, 205, 206, 209, 210, 212, 220, 221}},
        // Folder rows: the special ones take no command; the account directory has no ".." and no 220/221.
        {"", "/ 受信箱", "", {203, 213}}, {"", "/ 送信箱", "", {203, 213}}, {"", "/ ごみ箱", "", {203, 213}},
        {"", "/work", "", {203, 210, 211, 212, 213}},
        {" 送信箱/", "/..", "", {203, 220, 221}}, {" 送信箱/", "/草稿", "", {203, 220, 221}},
        {" ごみ箱/", "/old", "", {203, 210, 211, 213, 220, 221}},
        {"work/", "", "/inner", {203, 210, 211, 212, 213, 220, 221}},
    };
    for (const auto& c : cases) EXPECT_EQ(on(states(c.folder, c.selected, c.focused)), c.on) << c.folder << "|" << c.selected << "|" << c.focused;
    // New folder is off in the four fixed folders; commands without a rule are always on.
    for (auto [folder, allowed] : {std::pair{" 受信箱/", false}, {" 送信箱/", false}, {" 送信箱/送信控/", false},
                                   {"", true}, {" ごみ箱/old/", true}, {" 受信箱/sub/", true}}) {
        const command_states s = states(folder, "");
        EXPECT_TRUE(s.enabled(cmd::new_folder) == allowed && s.enabled(cmd::tree_new_folder) == allowed) << folder;
    }
    for (int command : {200, 214, 219, 222, 235, 259, 501}) EXPECT_TRUE(states(" 受信箱/", "").enabled(command)) << command;
}

TEST(SpecialRows, SpecialFolderRowsAndFixedNamesForTheTreeDrag) {
    for (const char* name : {"..", " ごみ箱", " 受信箱", " 送信箱", "草稿", "送信控"}) {
        EXPECT_TRUE(is_special_row(folder_row(sj(name)))) << name;
        EXPECT_EQ(is_fixed_folder_name(sj(name)), name != std::string("..")) << name;  // ".." is no tree item
    }
    // Full-width letters have no case.
    for (const char* name : {"受信箱", " 受信箱 ", "work", "...", "草稿2", " 送信箱/草稿", "ＷＯＲＫ"})
        EXPECT_FALSE(is_special_row(folder_row(sj(name))) || is_fixed_folder_name(sj(name))) << name;
}

}  // namespace
}  // namespace qm::test
