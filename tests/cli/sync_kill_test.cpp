// quillmere-cli sync killed (SIGKILL, through the QUILLMERE_KILL_AT test hook)
// at each step of a round against a private Dovecot, with "POP remove" on and
// off, then run again until nothing is new: every message the server held is
// in the inbox exactly once, its raw copy byte for byte what the server sent,
// every row a whole message, and with "POP remove" the server empty.

#include <algorithm>
#include <iostream>

#include "cli_runner.h"
#include "support/dovecot_server.h"

namespace qm::test {
namespace {

const int message_count = 10;

// Message n as the server sends it: a folded Subject (filing unfolds it), a
// dot-stuffed line and, for every third, an attachment.
std::string server_message(int n) {
    const std::string number = std::to_string(n);
    std::string message = "From: sender" + number + "@example.com\r\nTo: alice@example.com\r\nSubject: message " +
                          number + " of the\r\n folded kind\r\nMessage-ID: <" + number + "@kill.example>\r\n";
    if (n % 3 == 0)
        return message + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                         "Content-Type: text/plain; charset=us-ascii\r\n\r\ntext " + number +
               "\r\n.a line with a dot\r\n--b\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
               "Content-Transfer-Encoding: base64\r\n\r\nAAECAw==\r\n--b--\r\n";
    return message + "\r\nbody of " + number + "\r\n.a line with a dot\r\nlast line\r\n";
}

// Every step a round goes through, and the how-manieth time it is reached: each at a moment with messages on
// both sides of it.
const std::pair<const char*, int> kill_cases[] = {
    {"retr", 4},           // a message half downloaded, more asked for
    {"downloaded", 1},     // the first download whole and its id note made, not yet under its name
    {"downloaded", 4},     // a download whole, its id appended to the note, not yet under its name
    {"receive-filing", 1}, // filing the first downloads while the receive goes on
    {"listed", 1},         // the new UID list written, the round's id note not yet removed
    {"quit", 1},           // every message downloaded (and marked for deletion), QUIT not sent
    {"quit-sent", 1},      // QUIT sent, its answer not read
    {"quit-answered", 1},  // the server has deleted, the round has not noted it
    {"unfolded", 4},       // filing: the header of a download unfolded for decoding
    {"staged", 4},         // filing: a message put together, not yet in the inbox
    {"filed", 4},          // filing: a message in the inbox, its download file not yet removed
};

class SyncKills : public cli_test {
protected:
    void SetUp() override { start_server(server_); }
    void TearDown() override { if (HasFailure() && server_) std::cerr << "--- server log ---\n" << server_->log(); }

    // A fresh account for each case, so that each starts with an empty inbox and no UID list.
    std::string make_account(const std::string& title, bool remove) {
        run_ok("account add " + title + " --address alice@example.com --pop-server " + server_->host() + " --pop-port " +
                   std::to_string(server_->pop3_port()) + " --pop-user " + server_->user() + " --smtp-server " +
                   server_->host() + (remove ? "" : " --no-pop-remove") + " --password-fd 0", server_->password() + "\n");
        return home / ("mailbox/" + title + "/ 受信箱/");
    }

    // The raw copies of the inbox's rows, sorted (a row without the files of a whole message shows as such):
    // each message the server held must be there once, byte for byte.
    static names raw_copies(const std::string& inbox) {
        names copies;
        for (const std::string& name : list_names(inbox)) {
            bool whole = name.size() > 1 && name[0] == '.' && name.find_first_not_of("0123456789", 1) == std::string::npos;
            for (const char* file : {"/0", "/1", "/status.ini", "/raw"}) whole = whole && exists(inbox + name + file);
            copies.push_back(whole ? read_bytes(inbox + name + "/raw") : "a row without a whole message: " + name);
        }
        std::sort(copies.begin(), copies.end());
        return copies;
    }

    std::unique_ptr<dovecot_server> server_;
};

TEST_F(SyncKills, EveryMessageArrivesExactlyOnceWhereverTheRoundIsKilled) {
    names sent;
    for (int n = 0; n < message_count; ++n) sent.push_back(server_message(n));
    std::sort(sent.begin(), sent.end());
    for (bool remove : {false, true}) {
        for (const auto& [step, count] : kill_cases) {
            const std::string title = std::string(remove ? "remove-" : "keep-") + step + "-" + std::to_string(count);
            SCOPED_TRACE(title);
            if (server_->message_count() == 0)  // all fetched and removed by the last case
                for (int n = 0; n < message_count; ++n) server_->deliver(server_message(n));
            const std::string inbox = make_account(title, remove);
            {
                scoped_env kill_at("QUILLMERE_KILL_AT", (std::string(step) + ":" + std::to_string(count)).c_str());
                EXPECT_EQ(run("sync " + title).status, 128 + 9) << "not killed";
            }
            // Then rounds until one finds nothing new.
            int failed_rounds = 0;
            bool settled = false;
            for (int round = 0; round < 4 && !settled; ++round) {
                cli_result result = run("sync " + title);
                failed_rounds += result.status != 0;
                settled = contains(result.err, "新着メールはありません.");
            }
            EXPECT_EQ(raw_copies(inbox), sent);
            EXPECT_EQ(std::pair(settled, failed_rounds), std::pair(true, 0));
            EXPECT_EQ(remove ? server_->message_count() : 0u, 0u);
            EXPECT_FALSE(exists(home / "work"));  // nothing left waiting
        }
    }
}

}  // namespace
}  // namespace qm::test
