// The POP3 dialogue against scripted servers, for what Dovecot will not produce
// (stuffing at piece boundaries, broken replies, failures mid-receive).

#include <filesystem>
#include <functional>

#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

// Runs `body` (after the greeting unless it logs in) and QUIT against the script.
job_outcome talk(script_server& server, const std::function<net_result(connection&, thread&)>& body, bool trace = false,
                 bool read_greeting = true) {
    server.start();
    job_outcome outcome = run_connected({.port = server.port(), .trace = trace}, [&](connection& link, thread& job) {
        net_result code = read_greeting ? link.read_pop_reply(job) : net_result::ok;
        if (code == net_result::ok) code = body(link, job);
        pop_quit(link, job);
        return code;
    });
    EXPECT_TRUE(server.played());
    return outcome;
}

// Greets, plays the exchanges and says goodbye (cut off: just closes).
void script(script_server& server, const exchange_list& exchanges, const std::string& greeting = "+OK ready\r\n",
            bool cut_off = false) {
    server.send(greeting).exchange(exchanges);
    if (!cut_off) server.exchange({{"QUIT", "+OK bye\r\n"}});
    server.close();
}

std::string retr(const std::string& wire) { return "+OK message follows\r\n" + wire + ".\r\n"; }

const std::string stat_3 = "+OK 3 3000\r\n";

struct sample_message { std::string wire, stored; };

const std::string long_run(1000, 'x');  // exactly one read piece
const std::vector<sample_message> samples = {
    {"Subject: one\r\n\r\n..stuffed\r\n.single dot kept\r\n...\r\nlast\r\n",
     "Subject: one\r\n\r\n.stuffed\r\n.single dot kept\r\n..\r\nlast\r\n"},
    // Only a line's start is unstuffed or ends the message, not a piece's.
    {"Subject: two\r\n\r\n" + long_run + ".\r\n" + long_run + "..\r\n..next\r\n",
     "Subject: two\r\n\r\n" + long_run + ".\r\n" + long_run + "..\r\n.next\r\n"},
    {"Subject: three\r\n\r\nbare line feed\nkept\r\n", "Subject: three\r\n\r\nbare line feed\nkept\r\n"},
};

TEST(Pop3Login, FollowsTheGreetingAndTheRepliesAndNeverShowsThePassword) {
    const std::string stamp_greeting = "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n";
    // The example of RFC 1939: the digest of the stamp and "tanstaaf".
    const std::string digest = "c4c9334bac560ecc979e58001b3e22fb", apop = "APOP mrose " + digest;
    const exchange_list user_pass = {{"USER mrose", "+OK\r\n"}, {"PASS tanstaaf", "+OK\r\n"}};
    const std::string long_user(300, 'u');
    const struct {  // `trace`: a part of the trace
        const char* name; bool apop; std::string user, greeting; exchange_list exchanges; net_result expected;
        std::string trace = "";
    } cases[] = {
        {"apop with '<' but no '>'", true, "mrose", "+OK ready <1896.697\r\n", user_pass, net_result::ok},
        {"apop refused, then user and pass", true, "mrose", stamp_greeting,
         {{apop, "-ERR permission denied\r\n"}, user_pass[0], user_pass[1]}, net_result::ok,
         "C: APOP mrose " + std::string(32, '*') + "\r\nS: -ERR permission denied\r\nC: USER mrose\r\nS: +OK\r\n"
         "C: PASS ********\r\nS: +OK\r\n"},
        {"error reply to user", false, "mrose", "+OK ready\r\n", {{"USER mrose", "-ERR no such user\r\n"}},
         net_result::error_reply},
        {"error greeting", true, "mrose", "-ERR go away\r\n", {}, net_result::error_reply},
        {"a too long user id is cut, keeping the line end", false, long_user, "+OK ready\r\n",
         {{"USER " + long_user.substr(0, 245), "-ERR no\r\n"}}, net_result::error_reply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_server server;
        script(server, c.exchanges, c.greeting);
        std::string password = "tanstaaf";
        job_outcome outcome = talk(server, [&](connection& link, thread& job) {
            return pop_login(link, job, c.user, password, c.apop);
        }, true, false);
        EXPECT_EQ(outcome.result, c.expected);
        EXPECT_EQ(password, "tanstaaf");
        const std::string trace = outcome.trace_text();
        EXPECT_NE(trace.find(c.trace), std::string::npos) << trace;
        EXPECT_EQ(trace.find(password), std::string::npos) << trace;
        EXPECT_EQ(trace.find(digest), std::string::npos) << trace;
    }
}

using files = std::map<std::string, std::string>;  // name ("uid.lst" included; "x/": a directory) and bytes

// One receive into a fresh work directory, and every file it must leave there.
// The exchanges follow the greeting; the server then quits, or closes when `cut_off`.
struct receive_case {
    const char* name; files before; bool remove; exchange_list exchanges; net_result expected; files after;
    bool cut_off = false;
    std::string download_below = "";  // the download prefix below the work directory
};

void run_receive(const receive_case& c) {
    SCOPED_TRACE(c.name);
    temp_dir work;
    // "@list@" in a file stands for the UID list's path (in the notes of ids).
    auto placed = [&](std::string bytes) {
        for (std::size_t at; (at = bytes.find("@list@")) != std::string::npos;) bytes.replace(at, 6, work.cp("uid.lst"));
        return bytes;
    };
    for (const auto& [name, bytes] : c.before) {
        if (name.ends_with('/')) std::filesystem::create_directory(work / name);
        else write_bytes(work / name, placed(bytes));
    }
    script_server server;
    script(server, c.exchanges, "+OK ready\r\n", c.cut_off);
    job_outcome outcome = talk(server, [&](connection& link, thread& job) {
        return pop_receive(link, job, work.cp(c.download_below), work.cp("uid.lst"), c.remove);
    });
    EXPECT_EQ(outcome.result, c.expected);
    files found;
    for (const std::string& name : list_names(work.path())) {
        bool directory = std::filesystem::is_directory(work / name);
        found[directory ? name + "/" : name] = directory ? "" : read_bytes(work / name);
    }
    files expected;
    for (const auto& [name, bytes] : c.after) expected[name] = placed(bytes);
    EXPECT_EQ(found, expected);
}

TEST(Pop3Receive, KnownIdsAreSkippedWhateverTheListsLineEnds) {
    const exchange_list exchanges = {{"STAT", stat_3}, {"UIDL 1", "+OK 1 a\r\n"}, {"UIDL 2", "+OK 2 c\r\n"},
                                     {"RETR 2", retr(samples[0].wire)}, {"UIDL 3", "+OK 3 b\r\n"}};
    // The new list holds every id still on the server, in its order: "gone" drops out.
    for (const char* list : {"a\r\ngone\r\nb\r\n", "a\ngone\nb\n", "b\na\r\n", "a\r\r\nb\rjunk\n"})
        run_receive({list, {{"uid.lst", list}}, false, exchanges, net_result::ok,
                     {{"0.pop", samples[0].stored}, {"uid.lst", "a\r\nc\r\nb\r\n"}}});
}

TEST(Pop3Receive, RemoveDeletesEverythingKnownWithoutFetchingItAndKeepsTheIdsTillTheNextRound) {
    // (A list that names what was deleted, should the QUIT not reach the server: the receive job's test.)
    // A server without UIDL is emptied all the same when there is no list.
    run_receive({"no UIDL", {}, true,
                 {{"STAT", "+OK 2 200\r\n"}, {"UIDL 1", "-ERR unknown command\r\n"}, {"RETR 1", retr(samples[0].wire)},
                  {"DELE 1", "+OK\r\n"}, {"RETR 2", retr(samples[1].wire)}, {"DELE 2", "+OK\r\n"}},
                 net_result::ok, {{"0.pop", samples[0].stored}, {"1.pop", samples[1].stored}}});
    for (bool remove : {false, true})
        run_receive({"empty", {{"uid.lst", "old\r\n"}}, remove, {{"STAT", "+OK 0 0\r\n"}}, net_result::ok, {{"uid.lst", ""}}});
}

TEST(Pop3Receive, ACutRoundAddsWhatItFetchedToTheOldList) {
    const files list = {{"uid.lst", "a\nz\r\n"}}, after = {{"0.pop", samples[0].stored}, {"uid.lst", "a\r\nz\r\nb\r\n"}};
    for (bool remove : {false, true}) {
        exchange_list exchanges = {{"STAT", stat_3}, {"UIDL 1", "+OK 1 b\r\n"}, {"RETR 1", retr(samples[0].wire)}};
        if (remove) exchanges.emplace_back("DELE 1", "+OK\r\n");
        exchanges.emplace_back("UIDL 2", "+OK 2 c\r\n");
        exchanges.emplace_back("RETR 2", "+OK\r\nSubject: cut off\r\n\r\nhalf a li");
        run_receive({remove ? "remove" : "keep", list, remove, exchanges, net_result::closed, after, true});
    }
}

TEST(Pop3Receive, RepliesWithoutTheirNumberAreErrorsAndChangeNothing) {
    for (const char* reply : {"+OK 1\r\n", "+OK 1 \r\n", "+OK\r\n", "+OK x a\r\n", "+OK 2 a\r\n"})
        run_receive({reply, {{"uid.lst", "a\r\n"}}, false, {{"STAT", stat_3}, {"UIDL 1", reply}}, net_result::error_reply,
                     {{"uid.lst", "a\r\n"}}});
    // Taken for 0, a STAT reply without its count would empty the list.
    for (const char* reply : {"+OK\r\n", "+OK  3 300\r\n", "+OK -1 0\r\n", "+OK mailbox ready\r\n"})
        run_receive({reply, {{"uid.lst", "a\r\n"}}, true, {{"STAT", reply}}, net_result::error_reply, {{"uid.lst", "a\r\n"}}});
}

TEST(Pop3Receive, WhatACutRoundNotedIsInTheListBeforeAnythingIsFetched) {
    // 4 was whole under its name, 5 whole under its partial name; 6 was cut mid-download and keeps its number.
    const files before = {{"uid.lst", "a\r\n"}, {"4.pop", "four"}, {"4.uid", "@list@\nb\r\n"},
                          {"5.pop.part", "five"}, {"5.uid", "@list@\nc\n"}, {"6.pop.part", "six, cu"}};
    run_receive({"notes", before, false,
                 {{"STAT", stat_3}, {"UIDL 1", "+OK 1 b\r\n"}, {"UIDL 2", "+OK 2 c\r\n"}, {"UIDL 3", "+OK 3 d\r\n"},
                  {"RETR 3", retr(samples[2].wire)}},
                 net_result::ok,
                 {{"uid.lst", "b\r\nc\r\nd\r\n"}, {"4.pop", "four"}, {"5.pop", "five"}, {"6.pop.part", "six, cu"},
                  {"7.pop", samples[2].stored}}});
}

TEST(Pop3Receive, FetchesInServerOrderNumberedAfterEarlierDownloadsAndWritesEveryId) {
    const files earlier = {{"3.pop", "three"}, {"10.pop", "ten"}, {"x.pop", "x"}, {"notes.txt", "notes"}};
    files after = earlier;
    for (int i = 0; i < 3; ++i) after[std::to_string(11 + i) + ".pop"] = samples[i].stored;
    after["uid.lst"] = "a\r\n../%s%n\r\nb\r\n";  // an id that looks like a path and a format is only text
    run_receive({"numbering", earlier, false,
                 {{"STAT", stat_3}, {"UIDL 1", "+OK 1 a\r\n"}, {"RETR 1", retr(samples[0].wire)},
                  {"UIDL 2", "+OK 2 ../%s%n\r\n"}, {"RETR 2", retr(samples[1].wire)}, {"UIDL 3", "+OK 3 b\r\n"},
                  {"RETR 3", retr(samples[2].wire)}},
                 net_result::ok, after});
}

TEST(Pop3Receive, FileFailuresGiveCode10AndKeepWhatWasFetchedNoted) {
    run_receive({"the new list cannot be made: the fetched id stays noted", {{"uid.lst", "a\r\n"}, {"uid.$$$/", ""}},
                 false, {{"STAT", "+OK 1 100\r\n"}, {"UIDL 1", "+OK 1 b\r\n"}, {"RETR 1", retr(samples[0].wire)}},
                 net_result::file_error,
                 {{"uid.lst", "a\r\n"}, {"uid.$$$/", ""}, {"0.pop", samples[0].stored}, {"0.uid", "@list@\nb\n"}}});
    run_receive({"the list cannot be read: nothing is fetched again", {{"uid.lst/", ""}}, false, {{"STAT", stat_3}},
                 net_result::file_error, {{"uid.lst/", ""}}});
    run_receive({"the download file cannot be made", {{"uid.lst", "a\r\n"}}, false,
                 {{"STAT", "+OK 1 100\r\n"}, {"UIDL 1", "+OK 1 b\r\n"}, {"RETR 1", "+OK\r\n"}},
                 net_result::file_error, {{"uid.lst", "a\r\n"}}, false, "missing/"});
}

}  // namespace
}  // namespace qm::test
