#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <tuple>

#include "config/address_book.h"
#include "message/header_fields.h"
#include "store/folder_tree_listing.h"
#include "store/mail_list.h"
#include "store/store_fixture.h"
#include "platform/text_file.h"
#include "base/multibyte.h"
#include "text/mail_address.h"
#include "text/mail_date.h"

namespace qm::test {
namespace {

mail_row row(std::vector<std::string> texts) {
    mail_row r;
    for (std::size_t i = 0; i < texts.size(); ++i) r.text[i] = texts[i];
    return r;
}

names texts(const mail_row& r) { return {r.text, r.text + row_text_count}; }

TEST(MailListSort, CombSortOrderTieBreaksAndColumnChoice) {
    std::map<std::string, mail_row> rows = {
        {"P", folder_row("..")}, {"A", folder_row("alpha")}, {"B", folder_row("Beta")},
        {"a", row({" @  ", "24. 1. 2 10:00", "a@x", "Re: X", "9", "<r@x>", "9"})},
        {"b", row({"!   ", "99.12.31 23:59", "B@x", "re: x", "10", "<r@x>", "10"})},
        {"c", row({"!   ", "00. 1. 1 00:00", "_@x", "Zeta", "100", "<r@x>", "3"})},
        {"d", row({"    ", "24. 1. 2 10:00", "a@x", "Re: X", "9", "<s@x>", "10"})},
        {"e", row({"    ", "24. 1. 2 10:00", "a@x", "Re: X", "9", "<s@x>", "9"})},
    };
    auto ids_of = [&](const std::vector<mail_row>& list) {
        std::string ids;
        for (const mail_row& r : list)
            for (const auto& [name, known] : rows) ids += texts(r) == texts(known) ? name : "";
        return ids;
    };
    // ".." and the folders lead in both directions; ties always ascend, the
    // hidden number as text (10 before 9); '_' sorts before letters as with
    // _stricmp; within a thread the attribute, then the two-digit year.
    const char* orders[] = {"PABdeacb", "PABcbade", "PABcdeab", "PABbdeac", "PABcdeab", "PABbdeac",
                            "PABdeabc", "PBAcdeab", "PABdeabc", "PABcbdea", "PABacbde", "PABdeacb"};
    for (int k = 0; k < 12; ++k) {
        std::vector<mail_row> list;
        for (char c : std::string("ceBaPdbA")) list.push_back(rows.at(std::string(1, c)));
        sort_mail_list(list, {k / 2, k % 2 == 1});
        EXPECT_EQ(ids_of(list), orders[k]) << "column " << k / 2 << (k % 2 ? " descending" : "");
    }
    // Double-byte text sorts after ASCII (bytes compare unsigned); a message whose subject is ".." is no parent row.
    for (const mail_row& first : {row({"", "", "", "\x82\xa0"}), row({"", "", "", "..", "1", "", "0"})}) {
        std::vector<mail_row> two{first, first.text[3] == ".." ? folder_row("z") : row({"", "", "", "z"})};
        sort_mail_list(two, {3, false});
        EXPECT_EQ(two[0].text[3], "z");
    }
    // Choosing the same column again reverses it; a column past the last changes nothing.
    sort_state state;
    for (auto [column, expected, descending] : {std::tuple{3, 3, false}, {3, 3, true}, {9, 3, true}, {0, 0, false}}) {
        choose_sort_column(state, column);
        EXPECT_TRUE(state.column == expected && state.descending == descending) << column;
    }
}

class MailListStore : public store_test {
protected:
    // A message directory of the folder "f": its header "0" (unless empty), status and parts.
    void message(const std::string& name, const std::string& header, const std::string& status,
                 std::vector<std::string> parts = {}) {
        parts.insert(parts.begin(), crlf(header));
        write_message(at("f/" + name + "/"), parts, crlf(status));
    }
};

TEST_F(MailListStore, ListsFoldersAndMessagesButNothingMadeOutsideTheProgram) {
    // (Each column's text against the file functions is checked below, on many messages.)
    message(".0", "Subject: s\nReferences: <root@x>\n", "[mail status]\ntype=!\nattachment=+\n",
            {"\r\nbody\r\n", "Content-Type: text/plain\r\n\r\nneedle\r\n"});
    write_bytes(at("f/.0/raw"), "needle");
    message(".10", "", "", {"needle"});
    // After "f/.junk", made outside the program and neither followed nor shown: a line feed in a name (the
    // layout could not store it), a hidden directory that is no message, a name that is no message number,
    // and links, one of which would lead back up the tree for ever.
    for (const char* path : {"f/sub/.0/0", "f/arrange.lst", "f/.junk", "f/a\nb/.0/0", "f/.git/HEAD", "f/.007/0"})
        write_bytes(at(path), "");
    ASSERT_TRUE(::symlink("..", at("f/loop").c_str()) == 0 && ::symlink("sub", at("f/.1").c_str()) == 0);

    std::vector<mail_row> rows = build_mail_list(cp("f/"), account, "needle");
    sort_mail_list(rows, {column_subject, false});
    std::vector<names> shown;
    for (const mail_row& r : rows) shown.push_back(texts(r));
    ASSERT_EQ(shown, (std::vector<names>{{"", "", "", "..", "<dir>", "", ""}, {"", "", "", "sub", "<dir>", "", ""},
                                         {"    ", "??. ?. ? ??:??", "???", "", "0", "", "10"},
                                         {"!@  *", "??. ?. ? ??:??", "???", "s", "78", "<root@x>", "0"}}));
    // The same as values, for a view that takes no text apart.
    EXPECT_TRUE(rows[0].folder && rows[0].parent && rows[1].folder && !rows[1].parent);
    EXPECT_EQ(std::tuple(rows[2].number, rows[2].type, rows[2].size, rows[3].number, rows[3].type, rows[3].attachment,
                         rows[3].replied, rows[3].search_match, rows[3].size),
              std::tuple(10, ' ', 0u, 0, '!', true, false, true, 78u));

    // The account directory has no ".." row (only its folders: three special ones and "f"); a folder
    // that cannot be listed has nothing else.
    EXPECT_EQ(build_mail_list(account, account, "").size(), 4u);
    EXPECT_EQ(build_mail_list(cp("none/"), account, "").size(), 1u);
    EXPECT_EQ(folder_tree_children(cp("f/")), std::vector<std::string>{"sub"});
}

// The folder tree's memory of a folder's sub-folders: a folder changed in
// the last seconds is listed afresh; one that has stood still is remembered,
// and whatever is made, renamed or removed in it afterwards shows at once.
TEST_F(MailListStore, FolderTreeMemoryShowsEveryChangeOfAFolderThatStoodStill) {
    folder_listing_memory memory(std::chrono::milliseconds(1000));
    // A change of the tree (a system call's result), then what the memory lists.
    auto step = [&](int changed, const names& expected) {
        names children = memory.children(cp("f"));
        std::sort(children.begin(), children.end());
        EXPECT_EQ(std::pair(changed, children), std::pair(0, expected));
    };
    step(::mkdir(at("f").c_str(), 0700) || ::mkdir(at("f/a").c_str(), 0700), {"a"});
    step(::mkdir(at("f/b").c_str(), 0700), {"a", "b"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // "f" stands still
    step(0, {"a", "b"});
    step(::rename(at("f/b").c_str(), at("f/c").c_str()), {"a", "c"});  // the same links, size and (maybe) tick
    step(::rmdir(at("f/a").c_str()), {"c"});
    step(::rmdir(at("f/c").c_str()) || ::rmdir(at("f").c_str()), {});
}

// Whether the text occurs in the file read in text mode, piece by piece as
// the search reads it: a match that spans two pieces is not found.
bool piece_holds(const std::string& path, std::string_view text) {
    text_reader reader(path);
    std::string piece;
    while (reader.is_open() && reader.read_piece(piece, message_line_capacity))
        if (mbs_find(piece, text) != std::string::npos) return true;
    return false;
}

// The row as the file functions give it, each reading the files anew.
mail_row reference_row(const std::string& folder, const std::string& name, const std::string& search) {
    const std::string dir = folder + name + "/", header = dir + "0";
    mail_row r;
    r.text[0] = read_attribute_text(header);
    std::string header_text;
    r.text[1] = read_text_file(header, header_text) ? format_header_list_date(header_text) : std::string(list_date_fallback);
    std::string field = "From", address, display, entry;
    if (!r.text[0].empty() && (r.text[0][0] == 'D' || r.text[0][0] == 'S'))
        field = has_header_line(header, "To") ? "To" : has_header_line(header, "Cc") ? "Cc" : "Bcc";
    const bool found = get_header_address(header, field, 0, address, 128, display, 128) && !address.empty();
    for (const auto& [name_of_entry, entry_address] : read_address_book())
        if (found && entry.empty() && entry_address == address) entry = name_of_entry;
    r.text[2] = !found ? "???" : !entry.empty() ? entry : !display.empty() ? display : address;
    r.text[3] = path_exists(header) ? get_subject(header, 128) : "";
    long long total = 0;
    for (int k = 0; path_exists(dir + std::to_string(k)); ++k) {
        const std::string part = dir + std::to_string(k);
        if (!search.empty() && r.text[0].find('*') == std::string::npos && piece_holds(part, search)) r.text[0] += "*";
        total += file_size(part);
    }
    r.text[4] = std::to_string(total);
    r.text[6] = name.substr(1);
    return r;
}

// A conversation shares one thread key whatever its subjects say: joined by the ids it names, even after
// its root fell off the References; a reply from a program that names no ids joins by its subject.
TEST_F(MailListStore, TheThreadColumnGroupsAConversationByItsReferences) {
    const std::pair<const char*, std::string> mails[] = {
        {".0", "Subject: Plan\nMessage-ID: <r@x>\n"},
        {".1", "Subject: Budget\nMessage-ID: <a@x>\nIn-Reply-To: <r@x>\nReferences: <r@x>\n"},
        {".2", "Subject: Re: Budget\nMessage-ID: <b@x>\nReferences: <a@x>\n"},  // the root trimmed away
        {".3", "Subject: RE: Fwd: Plan\n"},                                      // no ids at all
        {".4", "Subject: Plan B\nMessage-ID: <d@x>\n"},
        {".5", "Subject: Other\nMessage-ID: <e@x>\nReferences: <gone@x>\n"},
        {".6", "Subject: Re: Other\nMessage-ID: <f@x>\nReferences: <gone@x>\n <e@x>\n"},
    };
    for (const auto& [name, header] : mails) message(name, header, "");
    std::map<int, std::string> key;
    for (const mail_row& r : build_mail_list(cp("f/"), account, "")) key[r.number] = r.text[column_thread];
    EXPECT_EQ(key, (std::map<int, std::string>{{-1, ""}, {0, "<r@x>"}, {1, "<r@x>"}, {2, "<r@x>"}, {3, "<r@x>"},
                                               {4, "<d@x>"}, {5, "<gone@x>"}, {6, "<gone@x>"}}));
}

// Odd headers, statuses and parts, enough for the folder to be read on several threads: every row is the one
// the file functions give.
TEST_F(MailListStore, OneReadPerFileGivesTheRowsOfTheFileFunctions) {
    std::mt19937 rng(5);
    auto pick = [&](std::vector<std::string> choices) { return choices[rng() % choices.size()]; };
    const std::string long_line(995, 'x');
    ASSERT_TRUE(add_address_entry("one", "a@x.example") && add_address_entry("two", "a@x.example") &&
                add_address_entry("three", "B@x.example"));
    int count = 0;
    for (; count < 700; ++count) {
        std::string header;
        for (std::string line :
             {pick({"", "X-quillmere-Status: ", "x-QUILLMERE-status: D@S*F", "X-quillmere-Status:R  R"}),
              pick({"", "Date: Tue, 2 Mar 2010 23:30:00 -0500", "date: 12 Jan 2010 10:20 +0900", "Date: soon"}),
              pick({"", "From: Name <a@x.example>", "From: \"Q, R\" <b@x.example>", "From: no address",
                    "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <c@x.example>"}),
              pick({"", "To: c@x.example (C),\n d@x.example", "To:", "Cc: B@x.example", "Bcc: \"open <e@x>"}),
              pick({"", "Subject: " + sj("件名") + "\tand tab", "Subject:", "subject:   needle", "Subject: =?UTF-8?B?5Lu25ZCN?="}),
              pick({"", "References: <r1@x> <r2@x>", "In-Reply-To:\t<p@x> (x)", "Message-ID: <m@x>",
                    "Message-ID <no colon>", "X: " + long_line + "needle"})})
            if (!line.empty()) header += line + "\n";
        std::string status = pick({"", "[mail status]\ntype=!\nattachment=+\n",
                                   "[mail status]\n type = S \nreplied=ON\nforwarded=1\n", "[mail status]\ntype=\n",
                                   "[other]\ntype=D\n[mail status]\ntype=D\nattachment=on\n[mail status]\ntype=S\n"});
        std::vector<std::string> parts;
        for (int k = rng() % 4; k > 0; --k)
            parts.push_back(pick({"\r\nplain\r\n", "\r\n" + long_line + "needle\r\n", "\x1a needle", "a needle\n",
                                  sj("\r\n検索の本文\r\n"), sj("表示\n検索\n")}));
        message("." + std::to_string(count), rng() % 8 == 0 ? "" : header, status, parts);
    }
    const std::string folder = cp("f/");
    // Matches on character boundaries within a piece: 表 (95 5C) holds no "\\", and nothing spans two lines.
    for (std::string search : {std::string(), std::string("needle"), sj("検索"), sj("示\n検"), std::string("\\")}) {
        std::vector<mail_row> rows = build_mail_list(folder, account, search);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(count) + 1);
        std::set<int> numbers;  // each message once
        for (const mail_row& r : rows) {
            if (r.is_folder()) continue;
            numbers.insert(r.number);
            // Only the thread key depends on the other messages of the folder (below).
            names shown = texts(r), single = texts(reference_row(folder, "." + r.text[column_number], search));
            shown[column_thread] = single[column_thread] = "";
            EXPECT_EQ(shown, single) << r.text[column_number] << " search " << search;
        }
        EXPECT_EQ(numbers.size(), static_cast<std::size_t>(count));
    }
}

}  // namespace
}  // namespace qm::test
