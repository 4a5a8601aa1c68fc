// The POP3 dialogue against scripted servers, for what Dovecot will not produce
// (stuffing at piece boundaries, broken replies, failures mid-receive).

#include <filesystem>
#include <functional>

#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "platform/work_directory.h"
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
// The exchanges follow the greeting; the server then quits, or closes when `cut_off`
// (and the client must then have closed the connection without QUIT). `download_below`: the download
// prefix below the work directory.
struct receive_case {
    const char* name; files before; bool remove; exchange_list exchanges; net_result expected; files after;
    bool cut_off = false; std::string download_below = ""; bool pipelining = false;
    std::uint64_t size_limit = default_download_limit;
};

// "+OK" and the listing of these ids, numbered from 1.
std::string listing(const std::vector<std::string>& ids) {
    std::string reply = "+OK\r\n";
    for (std::size_t i = 0; i < ids.size(); ++i) reply += std::to_string(i + 1) + " " + ids[i] + "\r\n";
    return reply + ".\r\n";
}

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
    int downloaded = 0;
    job_outcome outcome = talk(server, [&](connection& link, thread& job) {
        net_result code = pop_receive(link, job, work.cp(c.download_below), work.cp("uid.lst"),
                                      {c.remove, c.pipelining, c.size_limit, [&] { ++downloaded; }});
        if (c.cut_off) { EXPECT_NE(link.send_bytes(job, "NOOP\r\n"), net_result::ok) << "left open for a QUIT"; }
        return code;
    });
    EXPECT_EQ(outcome.result, c.expected);
    files found;
    for (const std::string& name : list_names(work.path())) {
        bool directory = std::filesystem::is_directory(work / name);
        found[directory ? name + "/" : name] = directory ? "" : read_bytes(work / name);
    }
    files expected;
    int whole = 0;
    for (const auto& [name, bytes] : c.after) {
        expected[name] = placed(bytes);
        whole += name.ends_with(".pop") && !c.before.contains(name) && !c.before.contains(name + ".part");
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(downloaded, whole);  // each new download was handed on once it had its name
}

TEST(Pop3Receive, KnownIdsAreSkippedWhateverTheListsLineEnds) {
    // Listed in any order; the new list holds every id still on the server, in its order: "gone" drops out.
    const exchange_list exchanges = {{"STAT", stat_3}, {"UIDL", "+OK\r\n3 b\r\n1 a\r\n2 c\r\n.\r\n"},
                                     {"RETR 2", retr(samples[0].wire)}};
    for (const char* list : {"a\r\ngone\r\nb\r\n", "a\ngone\nb\n", "b\na\r\n", "a\r\r\nb\rjunk\n"})
        run_receive({list, {{"uid.lst", list}}, false, exchanges, net_result::ok,
                     {{"0.pop", samples[0].stored}, {"uid.lst", "a\r\nc\r\nb\r\n"}}});
}

TEST(Pop3Receive, RemoveDeletesEverythingKnownWithoutFetchingItAndKeepsTheIdsTillTheNextRound) {
    // (A list that names what was deleted, should the QUIT not reach the server: the receive job's test.)
    // A server without UIDL is emptied all the same when there is no list; with one, that is an error.
    const exchange_list no_uidl = {{"STAT", "+OK 2 200\r\n"}, {"UIDL", "-ERR unknown command\r\n"}};
    exchange_list emptied = no_uidl;
    emptied.insert(emptied.end(), {{"RETR 1", retr(samples[0].wire)}, {"DELE 1", "+OK\r\n"},
                                   {"RETR 2", retr(samples[1].wire)}, {"DELE 2", "+OK\r\n"}});
    run_receive({"no UIDL", {}, true, emptied, net_result::ok, {{"0.pop", samples[0].stored}, {"1.pop", samples[1].stored}}});
    run_receive({"no UIDL, a list", {{"uid.lst", "a\r\n"}}, true, no_uidl, net_result::error_reply, {{"uid.lst", "a\r\n"}}});
    for (bool remove : {false, true})
        run_receive({"empty", {{"uid.lst", "old\r\n"}}, remove, {{"STAT", "+OK 0 0\r\n"}}, net_result::ok, {{"uid.lst", ""}}});
}

TEST(Pop3Receive, PipelinedCommandsAreAnsweredInOrderAndDeleteOnlyWholeDownloads) {
    // The server answers only once it has all four: a client that waited for each answer would hang. A fetched
    // message's DELE goes out only once its download is whole.
    const std::string answers = "+OK\r\n" + retr(samples[0].wire) + retr(samples[1].wire) + retr(samples[2].wire);
    run_receive({"pipelined", {{"uid.lst", "a\r\n"}}, true,
                 {{"STAT", "+OK 4 400\r\n"}, {"UIDL", listing({"a", "b", "c", "d"})}, {"DELE 1", ""}, {"RETR 2", ""},
                  {"RETR 3", ""}, {"RETR 4", answers}, {"DELE 2", ""}, {"DELE 3", ""}, {"DELE 4", "+OK\r\n+OK\r\n+OK\r\n"}},
                 net_result::ok,
                 {{"0.pop", samples[0].stored}, {"1.pop", samples[1].stored}, {"2.pop", samples[2].stored},
                  {"uid.lst", "a\r\nb\r\nc\r\nd\r\n"}}, false, "", true});
}

TEST(Pop3Receive, AFailureWithAnswersDueClosesWithoutQuitAndKeepsWhatCameWhole) {
    const files list = {{"uid.lst", "a\nz\r\n"}}, after = {{"0.pop", samples[0].stored}, {"uid.lst", "a\r\nz\r\nb\r\n"}};
    const std::string ids = listing({"b", "c", "x"});
    for (bool remove : {false, true}) {
        exchange_list exchanges = {{"STAT", stat_3}, {"UIDL", ids}, {"RETR 1", retr(samples[0].wire)}};
        if (remove) exchanges.emplace_back("DELE 1", "+OK\r\n");
        exchanges.emplace_back("RETR 2", "+OK\r\nSubject: cut off\r\n\r\nhalf a li");
        run_receive({remove ? "cut, remove" : "cut, keep", list, remove, exchanges, net_result::closed, after, true});
    }
    // Pipelined: the third answer is an error, the second too large, or the third cut off, with more due.
    const exchange_list sent = {{"STAT", stat_3}, {"UIDL", ids}, {"RETR 1", ""}, {"RETR 2", ""}, {"RETR 3", ""}};
    const std::string first_two = retr(samples[0].wire) + retr(samples[0].wire);
    const files two = {{"0.pop", samples[0].stored}, {"1.pop", samples[0].stored}, {"uid.lst", "a\r\nz\r\nb\r\nc\r\n"}};
    struct { const char* name; std::string answers; net_result expected; files after; std::uint64_t limit; } cases[] = {
        {"an error reply", first_two + "-ERR gone\r\n", net_result::error_reply, two, default_download_limit},
        {"the download limit", retr(samples[0].wire) + retr(samples[1].wire), net_result::message_too_large, after, 500},
        {"cut off", first_two + "+OK\r\nSubject: cut", net_result::closed, two, default_download_limit},
    };
    for (const auto& c : cases) {
        exchange_list exchanges = sent;
        exchanges.back().second = c.answers;
        run_receive({c.name, list, true, exchanges, c.expected, c.after, true, "", true, c.limit});
    }
}

TEST(Pop3Receive, ListingsAndRepliesWithoutTheirNumbersAreErrorsAndChangeNothing) {
    for (const char* ids : {"1 a\r\n3 c\r\n", "1 a\r\n2 b\r\n2 b\r\n3 c\r\n", "1 a\r\n1 b\r\n3 c\r\n", "1 a\r\n2 b\r\n4 c\r\n",
                            "1 a\r\n2\r\n3 c\r\n", "1 a\r\n2 \r\n3 c\r\n", "1 a\r\nx b\r\n3 c\r\n", "1 a\r\n+OK 2 b\r\n3 c\r\n",
                            "1 a\r\n2 b\r\n"}) {
        const exchange_list exchanges = {{"STAT", stat_3}, {"UIDL", "+OK\r\n" + std::string(ids) + ".\r\n"}};
        run_receive({ids, {{"uid.lst", "a\r\n"}}, true, exchanges, net_result::error_reply, {{"uid.lst", "a\r\n"}}});
        script_server server;
        script(server, exchanges);
        bool new_mail = true;
        EXPECT_EQ(talk(server, [&](connection& link, thread& job) {
                      return pop_check(link, job, "/nonexistent/uid.lst", false, new_mail);
                  }).result, net_result::error_reply);
    }
    // A listing longer than its messages could fill is not read on.
    const std::string endless = "+OK\r\n1 a\r\n2 " + std::string(2000, 'b') + "\r\n3 c\r\n.\r\n";
    run_receive({"endless", {{"uid.lst", "a\r\n"}}, false, {{"STAT", "+OK 3 300\r\n"}, {"UIDL", endless}},
                 net_result::error_reply, {{"uid.lst", "a\r\n"}}, true});
    // Taken for 0, a STAT reply without its count would empty the list.
    for (const char* reply : {"+OK\r\n", "+OK  3 300\r\n", "+OK -1 0\r\n", "+OK mailbox ready\r\n"})
        run_receive({reply, {{"uid.lst", "a\r\n"}}, true, {{"STAT", reply}}, net_result::error_reply, {{"uid.lst", "a\r\n"}}});
}

TEST(Pop3Receive, WhatACutRoundNotedIsInTheListBeforeAnythingIsFetched) {
    // Notes of an older version: 4 was whole under its name, 5 whole under its partial name; 6 was cut
    // mid-download and keeps its number. A round's note: 7 and 8 noted (8 not yet under its name), the
    // line of 9 cut short by a kill: 9 is fetched again.
    const files before = {{"uid.lst", "a\r\n"}, {"4.pop", "four"}, {"4.uid", "@list@\nb\r\n"},
                          {"5.pop.part", "five"}, {"5.uid", "@list@\nc\n"}, {"6.pop.part", "six, cu"},
                          {"7.ids", "@list@\n7 e\n8 f\n9 g"}, {"7.pop", "seven"}, {"8.pop.part", "eight"},
                          {"9.pop.part", "nine, c"}};
    run_receive({"notes", before, false,
                 {{"STAT", "+OK 5 500\r\n"}, {"UIDL", listing({"b", "c", "e", "g", "f"})}, {"RETR 4", retr(samples[2].wire)}},
                 net_result::ok,
                 {{"uid.lst", "b\r\nc\r\ne\r\ng\r\nf\r\n"}, {"4.pop", "four"}, {"5.pop", "five"}, {"6.pop.part", "six, cu"},
                  {"7.pop", "seven"}, {"8.pop", "eight"}, {"9.pop.part", "nine, c"}, {"10.pop", samples[2].stored}}});
}

TEST(Pop3Receive, FetchesInServerOrderNumberedAfterEarlierDownloadsAndWritesEveryId) {
    const files earlier = {{"3.pop", "three"}, {"10.pop", "ten"}, {"x.pop", "x"}, {"notes.txt", "notes"}};
    files after = earlier;
    for (int i = 0; i < 3; ++i) after[std::to_string(11 + i) + ".pop"] = samples[i].stored;
    after["uid.lst"] = "a\r\n../%s%n\r\nb\r\n";  // an id that looks like a path and a format is only text
    run_receive({"numbering", earlier, false,
                 {{"STAT", stat_3}, {"UIDL", listing({"a", "../%s%n", "b"})}, {"RETR 1", retr(samples[0].wire)},
                  {"RETR 2", retr(samples[1].wire)}, {"RETR 3", retr(samples[2].wire)}}, net_result::ok, after});
}

TEST(Pop3Receive, FileFailuresGiveCode10AndKeepWhatWasFetchedNoted) {
    const exchange_list one = {{"STAT", "+OK 1 100\r\n"}, {"UIDL", listing({"b"})}, {"RETR 1", retr(samples[0].wire)}};
    run_receive({"the new list cannot be made: the fetched id stays noted", {{"uid.lst", "a\r\n"}, {"uid.$$$/", ""}},
                 false, one, net_result::file_error,
                 {{"uid.lst", "a\r\n"}, {"uid.$$$/", ""}, {"0.pop", samples[0].stored}, {"0.ids", "@list@\n0 b\n"}}});
    run_receive({"the list cannot be read: nothing is fetched again", {{"uid.lst/", ""}}, false, {{"STAT", stat_3}},
                 net_result::file_error, {{"uid.lst/", ""}}});
    run_receive({"the download file cannot be made", {{"uid.lst", "a\r\n"}}, false,
                 {{"STAT", "+OK 1 100\r\n"}, {"UIDL", listing({"b"})}, {"RETR 1", "+OK\r\n"}},
                 net_result::file_error, {{"uid.lst", "a\r\n"}}, true, "missing/"});
}

// While a receive writes its note, filing (on another thread) must not name the download the receive is
// about to name; once the note is closed, a download it names is whole, and its numbers are taken.
TEST(Pop3Receive, ANoteBeingWrittenIsLeftToItsWriter) {
    temp_dir work;
    write_bytes(work / "7.pop.part", "seven");
    received_id_note note;
    ASSERT_TRUE(note.append(work.cp(), 5, work.cp("uid.lst"), "a\n") && note.append(work.cp(), 7, work.cp("uid.lst"), "b\n"));
    complete_noted_downloads(work.cp());
    EXPECT_EQ(list_names(work.path()), (names{"5.ids", "7.pop.part"}));
    EXPECT_EQ(next_download_number(work.cp()), 8u);
    note.close();
    complete_noted_downloads(work.cp());
    EXPECT_EQ(list_names(work.path()), (names{"5.ids", "7.pop"}));
    EXPECT_EQ(read_bytes(work / "5.ids"), work.cp("uid.lst") + "\n5 a\n7 b\n");
}

TEST(Pop3Capabilities, AreAskedAfterTheLoginUnlessTheLoginAskedThem) {
    const std::pair<std::string, bool> answers[] = {
        {"+OK\r\nTOP\r\nPIPELINING\r\n.\r\n", true}, {"+OK\r\nTOP\r\n.\r\n", false}, {"-ERR no\r\n", false}};
    for (const auto& [answer, pipelining] : answers) {
        pop_capabilities offered;
        for (const exchange_list& exchanges : {exchange_list{{"CAPA", answer}}, exchange_list{}}) {
            script_server server;
            script(server, exchanges);
            auto ask = [&](connection& link, thread& job) { return pop_ask_capabilities(link, job, offered); };
            EXPECT_EQ(talk(server, ask).result, net_result::ok);
            EXPECT_TRUE(offered.asked);
            EXPECT_EQ(offered.pipelining, pipelining);  // and not asked again
        }
    }
}

}  // namespace
}  // namespace qm::test
