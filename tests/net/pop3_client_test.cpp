// The POP3 dialogue against scripted loopback servers: what a real server
// will not readily produce (time stamps, stuffing at piece boundaries, broken
// replies, failures in the middle of a receive).

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/connection.h"
#include "net/md5.h"
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

// Runs `body` on a job connected to the scripted server, then QUIT, as a
// receive job does, and checks that the client said exactly what the script
// expected. The greeting is read first unless the body logs in itself.
job_outcome talk(script_server& server, const std::function<int(connection&, thread&)>& body, bool trace = false,
                 bool read_greeting = true) {
    server.start();
    job_outcome outcome = test::run_job([&](thread& job) {
        connection link(trace);
        int code = link.connect_server(job, "127.0.0.1", server.port(), false, false);
        if (code != result_ok) return code;
        if (read_greeting) code = link.read_pop_reply(job);
        if (code == result_ok) code = body(link, job);
        pop_quit(link, job);
        link.close_gently();
        return code;
    });
    EXPECT_TRUE(server.wait_done());
    EXPECT_EQ(server.failures(), names{});
    return outcome;
}

void play(script_server& server, const exchange_list& exchanges) {
    for (const auto& [line, reply] : exchanges) server.expect(line).send(reply);
}

void quit(script_server& server) { server.expect("QUIT").send("+OK bye\r\n").close(); }

// A scripted server that greets, plays the exchanges and says goodbye.
void script(script_server& server, const exchange_list& exchanges) {
    server.send("+OK ready\r\n");
    play(server, exchanges);
    quit(server);
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
    // Lines longer than a piece whose rest begins with dots: only a line's
    // start is unstuffed or ends the message.
    {"Subject: two\r\n\r\n" + long_run + ".\r\n" + long_run + "..\r\n..next\r\n",
     "Subject: two\r\n\r\n" + long_run + ".\r\n" + long_run + "..\r\n.next\r\n"},
    {"Subject: three\r\n\r\nbare line feed\nkept\r\n", "Subject: three\r\n\r\nbare line feed\nkept\r\n"},
};

// ---------------------------------------------------------------- login

struct login_case {
    const char* name;
    bool apop;
    std::string user;
    std::string greeting;
    exchange_list exchanges;
    int expected;
};

TEST(Pop3Login, FollowsTheGreetingAndTheReplies) {
    const std::string stamp_greeting = "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n";
    // The example of RFC 1939: the digest of the stamp and "tanstaaf".
    const std::string apop = "APOP mrose c4c9334bac560ecc979e58001b3e22fb";
    const exchange_list user_pass = {{"USER mrose", "+OK\r\n"}, {"PASS tanstaaf", "+OK\r\n"}};
    exchange_list refused_apop = {{apop, "-ERR permission denied\r\n"}};
    refused_apop.insert(refused_apop.end(), user_pass.begin(), user_pass.end());
    const std::string long_user(300, 'u');

    const std::vector<login_case> cases = {
        {"apop with a time stamp", true, "mrose", stamp_greeting, {{apop, "+OK maildrop has 1 message\r\n"}},
         result_ok},
        {"apop without a time stamp", true, "mrose", "+OK ready\r\n", user_pass, result_ok},
        {"apop with '<' but no '>'", true, "mrose", "+OK ready <1896.697\r\n", user_pass, result_ok},
        {"apop refused, then user and pass", true, "mrose", stamp_greeting, refused_apop, result_ok},
        {"apop off ignores the stamp", false, "mrose", stamp_greeting, user_pass, result_ok},
        {"error reply to pass", false, "mrose", "+OK ready\r\n",
         {{"USER mrose", "+OK\r\n"}, {"PASS tanstaaf", "-ERR [AUTH] Authentication failed.\r\n"}},
         result_bad_password},
        {"error reply to user", false, "mrose", "+OK ready\r\n", {{"USER mrose", "-ERR no such user\r\n"}},
         result_error_reply},
        {"error greeting", true, "mrose", "-ERR go away\r\n", {}, result_error_reply},
        {"a too long user id is cut, keeping the line end", false, long_user, "+OK ready\r\n",
         {{"USER " + long_user.substr(0, 245), "-ERR no\r\n"}}, result_error_reply},
    };
    for (const login_case& c : cases) {
        SCOPED_TRACE(c.name);
        script_server server;
        server.send(c.greeting);
        play(server, c.exchanges);
        quit(server);
        std::string password = "tanstaaf";
        job_outcome outcome = talk(
            server, [&](connection& link, thread& job) { return pop_login(link, job, c.user, password, c.apop); },
            false, false);
        EXPECT_EQ(outcome.result, c.expected);
        EXPECT_EQ(password, "tanstaaf");
    }
}

TEST(Pop3Login, TraceShowsTheUserButNeverThePasswordOrDigest) {
    const std::string password = "secret pw";
    const std::string digest = md5_hex("<42.1@host>" + password);
    script_server server;
    server.send("+OK ready <42.1@host>\r\n");
    play(server, {{"APOP alice " + digest, "-ERR no\r\n"},
                  {"USER alice", "+OK\r\n"},
                  {"PASS " + password, "-ERR [AUTH] Authentication failed.\r\n"}});
    quit(server);
    std::string left_in_line;
    job_outcome outcome = talk(
        server,
        [&](connection& link, thread& job) {
            std::string copy = password;
            int code = pop_login(link, job, "alice", copy, true);
            left_in_line = link.line();
            return code;
        },
        true, false);

    EXPECT_EQ(outcome.result, result_bad_password);
    std::string trace = outcome.trace_text();
    EXPECT_NE(trace.find("C: APOP alice " + std::string(32, '*') + "\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("C: USER alice\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("C: PASS " + std::string(password.size(), '*') + "\r\n"), std::string::npos) << trace;
    EXPECT_EQ(trace.find(password), std::string::npos) << trace;
    EXPECT_EQ(trace.find(digest), std::string::npos) << trace;
    EXPECT_EQ(left_in_line.find(password), std::string::npos);
}

// ---------------------------------------------------------------- receive

// One receive into a fresh work directory, and what it must leave there.
struct receive_case {
    const char* name;
    std::optional<std::string> list_before;  // uid.lst; nullopt: none
    bool remove;
    exchange_list exchanges;  // after the greeting; the server then quits, or closes when `cut_off`
    int expected;
    std::map<std::string, std::string> files_after;  // every file of the work directory but uid.lst
    std::optional<std::string> list_after;
    bool cut_off = false;
    std::map<std::string, std::string> files_before = {};
    std::string download_below = "";  // the download prefix below the work directory
};

void run_receive(const receive_case& c) {
    SCOPED_TRACE(c.name);
    temp_dir work;
    for (const auto& [name, bytes] : c.files_before) {
        if (name.ends_with('/')) {
            std::filesystem::create_directory(work / name);
        } else {
            write_bytes(work / name, bytes);
        }
    }
    if (c.list_before) write_bytes(work / "uid.lst", *c.list_before);
    script_server server;
    server.send("+OK ready\r\n");
    play(server, c.exchanges);
    if (c.cut_off) {
        server.close();
    } else {
        quit(server);
    }
    job_outcome outcome = talk(server, [&](connection& link, thread& job) {
        return pop_receive(link, job, work.cp(c.download_below), work.cp("uid.lst"), c.remove);
    });
    EXPECT_EQ(outcome.result, c.expected);
    std::map<std::string, std::string> files;
    for (const std::string& name : test::list_names(work.path())) {
        if (name == "uid.lst") continue;
        bool directory = std::filesystem::is_directory(work / name);
        files[directory ? name + "/" : name] = directory ? "" : read_bytes(work / name);
    }
    EXPECT_EQ(files, c.files_after);
    EXPECT_EQ(test::exists(work / "uid.lst"), c.list_after.has_value());
    if (c.list_after) {
        EXPECT_EQ(read_bytes(work / "uid.lst"), *c.list_after);
    }
}

TEST(Pop3Receive, FirstReceiveFetchesEverythingInServerOrderAndWritesEveryId) {
    // The second id looks like a path and a format: it is only ever text.
    run_receive({"first receive", std::nullopt, false,
                 {{"STAT", stat_3},
                  {"UIDL 1", "+OK 1 id-one\r\n"},
                  {"RETR 1", retr(samples[0].wire)},
                  {"UIDL 2", "+OK 2 ../%s%n\r\n"},
                  {"RETR 2", retr(samples[1].wire)},
                  {"UIDL 3", "+OK 3 id-three\r\n"},
                  {"RETR 3", retr(samples[2].wire)}},
                 result_ok,
                 {{"0.pop", samples[0].stored}, {"1.pop", samples[1].stored}, {"2.pop", samples[2].stored}},
                 "id-one\r\n../%s%n\r\nid-three\r\n"});
}

TEST(Pop3Receive, KnownIdsAreSkippedWhateverTheListsLineEnds) {
    const exchange_list exchanges = {{"STAT", stat_3},
                                     {"UIDL 1", "+OK 1 a\r\n"},
                                     {"UIDL 2", "+OK 2 c\r\n"},
                                     {"RETR 2", retr(samples[0].wire)},
                                     {"UIDL 3", "+OK 3 b\r\n"}};
    // The new list holds every id still on the server, in its order: "gone" drops out.
    for (const char* list : {"a\r\ngone\r\nb\r\n", "a\ngone\nb\n", "b\na\r\n", "a\r\r\nb\rjunk\n"})
        run_receive({list, list, false, exchanges, result_ok, {{"0.pop", samples[0].stored}}, "a\r\nc\r\nb\r\n"});
}

TEST(Pop3Receive, RemoveDeletesEverythingKnownWithoutFetchingItAndDeletesTheList) {
    run_receive({"with a list", "a\r\n", true,
                 {{"STAT", "+OK 2 200\r\n"},
                  {"UIDL 1", "+OK 1 a\r\n"},
                  {"DELE 1", "+OK\r\n"},
                  {"UIDL 2", "+OK 2 b\r\n"},
                  {"RETR 2", retr(samples[2].wire)},
                  {"DELE 2", "+OK\r\n"}},
                 result_ok, {{"0.pop", samples[2].stored}}, std::nullopt});
    run_receive({"without a list no id is asked for", std::nullopt, true,
                 {{"STAT", "+OK 2 200\r\n"},
                  {"RETR 1", retr(samples[0].wire)},
                  {"DELE 1", "+OK\r\n"},
                  {"RETR 2", retr(samples[1].wire)},
                  {"DELE 2", "+OK\r\n"}},
                 result_ok, {{"0.pop", samples[0].stored}, {"1.pop", samples[1].stored}}, std::nullopt});
}

TEST(Pop3Receive, EmptyMailboxEmptiesOrDeletesTheList) {
    run_receive({"keep", "old\r\n", false, {{"STAT", "+OK 0 0\r\n"}}, result_ok, {}, ""});
    run_receive({"remove", "old\r\n", true, {{"STAT", "+OK 0 0\r\n"}}, result_ok, {}, std::nullopt});
}

TEST(Pop3Receive, FailureKeepsTheOldListByteForByteAndOnlyFinishedFiles) {
    const exchange_list start = {{"STAT", stat_3}, {"UIDL 1", "+OK 1 b\r\n"}, {"RETR 1", retr(samples[0].wire)}};
    const exchange_list cut = {{"UIDL 2", "+OK 2 c\r\n"}, {"RETR 2", "+OK\r\nSubject: cut off\r\n\r\nhalf a li"}};
    exchange_list keep = start, remove = start;
    keep.insert(keep.end(), cut.begin(), cut.end());
    remove.emplace_back("DELE 1", "+OK\r\n");
    remove.insert(remove.end(), cut.begin(), cut.end());
    run_receive({"keep", "a\nz\r\n", false, keep, result_closed, {{"0.pop", samples[0].stored}}, "a\nz\r\n", true});
    run_receive({"remove", "a\nz\r\n", true, remove, result_closed, {{"0.pop", samples[0].stored}}, "a\nz\r\n", true});
}

TEST(Pop3Receive, NumberingContinuesAfterDownloadsOfAnEarlierJob) {
    const std::map<std::string, std::string> earlier = {
        {"3.pop", "three"}, {"10.pop", "ten"}, {"x.pop", "x"}, {"notes.txt", "notes"}};
    std::map<std::string, std::string> after = earlier;
    after["11.pop"] = samples[0].stored;
    after["12.pop"] = samples[1].stored;
    run_receive({"numbering", std::nullopt, false,
                 {{"STAT", "+OK 2 200\r\n"},
                  {"UIDL 1", "+OK 1 a\r\n"},
                  {"RETR 1", retr(samples[0].wire)},
                  {"UIDL 2", "+OK 2 b\r\n"},
                  {"RETR 2", retr(samples[1].wire)}},
                 result_ok, after, "a\r\nb\r\n", false, earlier});
}

TEST(Pop3Receive, UidlReplyWithoutAnIdIsAnErrorReply) {
    for (const char* reply : {"+OK 1\r\n", "+OK 1 \r\n", "+OK\r\n"})
        run_receive({reply, "a\r\n", false, {{"STAT", stat_3}, {"UIDL 1", reply}}, result_error_reply, {}, "a\r\n"});
}

TEST(Pop3Receive, FileFailuresGiveCode10AndChangeNothing) {
    // A name ending in "/" stands for a directory.
    run_receive({"the new list cannot be made: no message command is sent", "a\r\n", false, {{"STAT", stat_3}},
                 result_file_error, {{"uid.$$$/", ""}}, "a\r\n", false, {{"uid.$$$/", ""}}});
    run_receive({"the list cannot be read: nothing is fetched again", std::nullopt, false, {{"STAT", stat_3}},
                 result_file_error, {}, "", false, {{"uid.lst/", ""}}});
    run_receive({"the download file cannot be made", "a\r\n", false,
                 {{"STAT", "+OK 1 100\r\n"}, {"UIDL 1", "+OK 1 b\r\n"}, {"RETR 1", retr(samples[0].wire)}},
                 result_file_error, {}, "a\r\n", false, {}, "missing/"});
}

TEST(Pop3Receive, TraceShowsADotPerLineOfADownload) {
    temp_dir work;
    script_server server;
    script(server, {{"STAT", "+OK 1 100\r\n"},
                    {"UIDL 1", "+OK 1 a\r\n"},
                    {"RETR 1", retr("Subject: x\r\n\r\nbody\r\n")}});
    job_outcome outcome = talk(
        server,
        [&](connection& link, thread& job) { return pop_receive(link, job, work.cp(), work.cp("uid.lst"), false); },
        true);
    ASSERT_EQ(outcome.result, result_ok);
    std::string trace = outcome.trace_text();
    EXPECT_NE(trace.find("C: RETR 1\r\nS: +OK message follows\r\nS: ...\r\n"), std::string::npos) << trace;
}

// ---------------------------------------------------------------- check

struct check_case {
    const char* name;
    const char* list;  // nullptr: no list
    bool remove;
    exchange_list exchanges;
    bool new_mail;
};

TEST(Pop3Check, AnswersAtTheFirstUnknownIdAndWritesNothing) {
    const std::vector<check_case> cases = {
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
    for (const check_case& c : cases) {
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
        if (c.list) {
            EXPECT_EQ(read_bytes(work / "uid.lst"), c.list);
        }
    }
}

}  // namespace
}  // namespace qm
