// The POP3 dialogue against scripted loopback servers: what a real server
// will not readily produce (time stamps, stuffing at piece boundaries, broken
// replies, failures in the middle of a receive).

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "support/job_runner.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::job_outcome;
using test::read_bytes;
using test::script_server;
using test::temp_dir;
using test::write_bytes;
using names = std::vector<std::string>;
using exchange_list = std::vector<std::pair<std::string, std::string>>;  // command, reply

// Runs `body` (after the greeting unless it logs in) and QUIT on a job
// connected to the server; the client must have said what the script expects.
job_outcome talk(script_server& server, const std::function<int(connection&, thread&)>& body, bool trace = false,
                 bool read_greeting = true) {
    server.start();
    job_outcome outcome =
        test::run_connected({.port = server.port(), .trace = trace}, [&](connection& link, thread& job) {
            int code = read_greeting ? link.read_pop_reply(job) : result_ok;
            if (code == result_ok) code = body(link, job);
            pop_quit(link, job);
            return code;
        });
    EXPECT_TRUE(server.wait_done());
    EXPECT_EQ(server.failures(), names{});
    return outcome;
}

// A scripted server that greets, plays the exchanges and says goodbye (or, cut off, just closes).
void script(script_server& server, const exchange_list& exchanges, const std::string& greeting = "+OK ready\r\n",
            bool cut_off = false) {
    server.send(greeting).exchange(exchanges);
    if (!cut_off) server.exchange({{"QUIT", "+OK bye\r\n"}});
    server.close();
}

// A RETR answer: the message as sent on the wire (stuffed) and its end mark.
std::string retr(const std::string& wire) { return "+OK message follows\r\n" + wire + ".\r\n"; }

const std::string stat_3 = "+OK 3 3000\r\n";

// Messages as the server sends them and as they must be stored.
struct sample_message {
    std::string wire;
    std::string stored;
};

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
    const struct {
        const char* name;
        bool apop;
        std::string user, greeting;
        exchange_list exchanges;
        int expected;
        std::string trace = "";  // a part of the trace
    } cases[] = {
        {"apop with a time stamp", true, "mrose", stamp_greeting, {{apop, "+OK maildrop has 1 message\r\n"}},
         result_ok},
        {"apop without a time stamp", true, "mrose", "+OK ready\r\n", user_pass, result_ok},
        {"apop with '<' but no '>'", true, "mrose", "+OK ready <1896.697\r\n", user_pass, result_ok},
        {"apop refused, then user and pass", true, "mrose", stamp_greeting,
         {{apop, "-ERR permission denied\r\n"}, user_pass[0], user_pass[1]}, result_ok,
         "C: APOP mrose " + std::string(32, '*') + "\r\nS: -ERR permission denied\r\nC: USER mrose\r\nS: +OK\r\n"
         "C: PASS ********\r\nS: +OK\r\n"},
        {"apop off ignores the stamp", false, "mrose", stamp_greeting, user_pass, result_ok},
        {"error reply to pass", false, "mrose", "+OK ready\r\n",
         {user_pass[0], {"PASS tanstaaf", "-ERR [AUTH] Authentication failed.\r\n"}}, result_bad_password},
        {"error reply to user", false, "mrose", "+OK ready\r\n", {{"USER mrose", "-ERR no such user\r\n"}},
         result_error_reply},
        {"error greeting", true, "mrose", "-ERR go away\r\n", {}, result_error_reply},
        {"a too long user id is cut, keeping the line end", false, long_user, "+OK ready\r\n",
         {{"USER " + long_user.substr(0, 245), "-ERR no\r\n"}}, result_error_reply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_server server;
        script(server, c.exchanges, c.greeting);
        std::string password = "tanstaaf";
        job_outcome outcome = talk(
            server, [&](connection& link, thread& job) { return pop_login(link, job, c.user, password, c.apop); },
            true, false);
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
struct receive_case {
    const char* name;
    files before;
    bool remove;
    exchange_list exchanges;  // after the greeting; the server then quits, or closes when `cut_off`
    int expected;
    files after;
    bool cut_off = false;
    std::string download_below = "";  // the download prefix below the work directory
};

void run_receive(const receive_case& c) {
    SCOPED_TRACE(c.name);
    temp_dir work;
    for (const auto& [name, bytes] : c.before) {
        if (name.ends_with('/')) std::filesystem::create_directory(work / name);
        else write_bytes(work / name, bytes);
    }
    script_server server;
    script(server, c.exchanges, "+OK ready\r\n", c.cut_off);
    job_outcome outcome = talk(server, [&](connection& link, thread& job) {
        return pop_receive(link, job, work.cp(c.download_below), work.cp("uid.lst"), c.remove);
    });
    EXPECT_EQ(outcome.result, c.expected);
    files found;
    for (const std::string& name : test::list_names(work.path())) {
        bool directory = std::filesystem::is_directory(work / name);
        found[directory ? name + "/" : name] = directory ? "" : read_bytes(work / name);
    }
    EXPECT_EQ(found, c.after);
}

TEST(Pop3Receive, FirstReceiveFetchesEverythingInServerOrderAndWritesEveryId) {
    // The second id looks like a path and a format: it is only ever text.
    run_receive({"first receive", {}, false,
                 {{"STAT", stat_3},
                  {"UIDL 1", "+OK 1 id-one\r\n"},
                  {"RETR 1", retr(samples[0].wire)},
                  {"UIDL 2", "+OK 2 ../%s%n\r\n"},
                  {"RETR 2", retr(samples[1].wire)},
                  {"UIDL 3", "+OK 3 id-three\r\n"},
                  {"RETR 3", retr(samples[2].wire)}},
                 result_ok,
                 {{"0.pop", samples[0].stored},
                  {"1.pop", samples[1].stored},
                  {"2.pop", samples[2].stored},
                  {"uid.lst", "id-one\r\n../%s%n\r\nid-three\r\n"}}});
}

TEST(Pop3Receive, KnownIdsAreSkippedWhateverTheListsLineEnds) {
    const exchange_list exchanges = {{"STAT", stat_3},
                                     {"UIDL 1", "+OK 1 a\r\n"},
                                     {"UIDL 2", "+OK 2 c\r\n"},
                                     {"RETR 2", retr(samples[0].wire)},
                                     {"UIDL 3", "+OK 3 b\r\n"}};
    // The new list holds every id still on the server, in its order: "gone" drops out.
    for (const char* list : {"a\r\ngone\r\nb\r\n", "a\ngone\nb\n", "b\na\r\n", "a\r\r\nb\rjunk\n"})
        run_receive({list, {{"uid.lst", list}}, false, exchanges, result_ok,
                     {{"0.pop", samples[0].stored}, {"uid.lst", "a\r\nc\r\nb\r\n"}}});
}

TEST(Pop3Receive, RemoveDeletesEverythingKnownWithoutFetchingItAndDeletesTheList) {
    run_receive({"with a list", {{"uid.lst", "a\r\n"}}, true,
                 {{"STAT", "+OK 2 200\r\n"},
                  {"UIDL 1", "+OK 1 a\r\n"},
                  {"DELE 1", "+OK\r\n"},
                  {"UIDL 2", "+OK 2 b\r\n"},
                  {"RETR 2", retr(samples[2].wire)},
                  {"DELE 2", "+OK\r\n"}},
                 result_ok, {{"0.pop", samples[2].stored}}});
    run_receive({"without a list no id is asked for", {}, true,
                 {{"STAT", "+OK 2 200\r\n"},
                  {"RETR 1", retr(samples[0].wire)},
                  {"DELE 1", "+OK\r\n"},
                  {"RETR 2", retr(samples[1].wire)},
                  {"DELE 2", "+OK\r\n"}},
                 result_ok, {{"0.pop", samples[0].stored}, {"1.pop", samples[1].stored}}});
    // An empty mailbox empties the list, or deletes it with "remove".
    run_receive(
        {"empty, keep", {{"uid.lst", "old\r\n"}}, false, {{"STAT", "+OK 0 0\r\n"}}, result_ok, {{"uid.lst", ""}}});
    run_receive({"empty, remove", {{"uid.lst", "old\r\n"}}, true, {{"STAT", "+OK 0 0\r\n"}}, result_ok, {}});
}

TEST(Pop3Receive, FailureKeepsTheOldListByteForByteAndOnlyFinishedFiles) {
    const exchange_list start = {{"STAT", stat_3}, {"UIDL 1", "+OK 1 b\r\n"}, {"RETR 1", retr(samples[0].wire)}};
    const exchange_list cut = {{"UIDL 2", "+OK 2 c\r\n"}, {"RETR 2", "+OK\r\nSubject: cut off\r\n\r\nhalf a li"}};
    exchange_list keep = start, remove = start;
    keep.insert(keep.end(), cut.begin(), cut.end());
    remove.emplace_back("DELE 1", "+OK\r\n");
    remove.insert(remove.end(), cut.begin(), cut.end());
    const files list = {{"uid.lst", "a\nz\r\n"}}, after = {{"0.pop", samples[0].stored}, {"uid.lst", "a\nz\r\n"}};
    run_receive({"keep", list, false, keep, result_closed, after, true});
    run_receive({"remove", list, true, remove, result_closed, after, true});
    // A UIDL reply without an id is an error reply.
    for (const char* reply : {"+OK 1\r\n", "+OK 1 \r\n", "+OK\r\n"})
        run_receive({reply, {{"uid.lst", "a\r\n"}}, false, {{"STAT", stat_3}, {"UIDL 1", reply}}, result_error_reply,
                     {{"uid.lst", "a\r\n"}}});
}

TEST(Pop3Receive, NumberingContinuesAfterDownloadsOfAnEarlierJob) {
    const files earlier = {{"3.pop", "three"}, {"10.pop", "ten"}, {"x.pop", "x"}, {"notes.txt", "notes"}};
    files after = earlier;
    after["11.pop"] = samples[0].stored;
    after["12.pop"] = samples[1].stored;
    after["uid.lst"] = "a\r\nb\r\n";
    run_receive({"numbering", earlier, false,
                 {{"STAT", "+OK 2 200\r\n"},
                  {"UIDL 1", "+OK 1 a\r\n"},
                  {"RETR 1", retr(samples[0].wire)},
                  {"UIDL 2", "+OK 2 b\r\n"},
                  {"RETR 2", retr(samples[1].wire)}},
                 result_ok, after});
}

TEST(Pop3Receive, FileFailuresGiveCode10AndChangeNothing) {
    run_receive({"the new list cannot be made: no message command is sent", {{"uid.lst", "a\r\n"}, {"uid.$$$/", ""}},
                 false, {{"STAT", stat_3}}, result_file_error, {{"uid.lst", "a\r\n"}, {"uid.$$$/", ""}}});
    run_receive({"the list cannot be read: nothing is fetched again", {{"uid.lst/", ""}}, false, {{"STAT", stat_3}},
                 result_file_error, {{"uid.lst/", ""}}});
    run_receive({"the download file cannot be made", {{"uid.lst", "a\r\n"}}, false,
                 {{"STAT", "+OK 1 100\r\n"}, {"UIDL 1", "+OK 1 b\r\n"}, {"RETR 1", retr(samples[0].wire)}},
                 result_file_error, {{"uid.lst", "a\r\n"}}, false, "missing/"});
}

TEST(Pop3Check, AnswersAtTheFirstUnknownIdAndWritesNothing) {
    const struct {
        const char* name;
        const char* list;  // nullptr: no list
        bool remove;
        exchange_list exchanges;
        bool new_mail;
    } cases[] = {
        {"empty mailbox", "a\r\n", false, {{"STAT", "+OK 0 0\r\n"}}, false},
        {"all known", "a\nb\n", false, {{"STAT", "+OK 2 9\r\n"}, {"UIDL 1", "+OK 1 a\r\n"}, {"UIDL 2", "+OK 2 b\r\n"}},
         false},
        {"first unknown stops", "a\r\n", false,
         {{"STAT", stat_3}, {"UIDL 1", "+OK 1 a\r\n"}, {"UIDL 2", "+OK 2 x\r\n"}}, true},
        {"no list", nullptr, false, {{"STAT", stat_3}, {"UIDL 1", "+OK 1 a\r\n"}}, true},
        {"remove without list needs no id", nullptr, true, {{"STAT", "+OK 1 9\r\n"}}, true},
        {"remove with list compares ids", "a\r\n", true, {{"STAT", "+OK 1 9\r\n"}, {"UIDL 1", "+OK 1 a\r\n"}},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir work;
        if (c.list) write_bytes(work / "uid.lst", c.list);
        script_server server;
        script(server, c.exchanges);
        bool new_mail = !c.new_mail;
        job_outcome outcome = talk(server, [&](connection& link, thread& job) {
            return pop_check(link, job, work.cp("uid.lst"), c.remove, new_mail);
        });
        EXPECT_EQ(outcome.result, result_ok);
        EXPECT_EQ(new_mail, c.new_mail);
        EXPECT_EQ(test::list_names(work.path()), c.list ? names{"uid.lst"} : names{});
        EXPECT_EQ(read_bytes(work / "uid.lst"), c.list ? c.list : "");
    }
}

}  // namespace
}  // namespace qm
