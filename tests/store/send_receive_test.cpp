#include <functional>
#include <thread>

#include "store/accounts.h"
#include "net/mail_jobs.h"
#include "net/result_codes.h"
#include "store/arrange_rules.h"
#include "platform/work_directory.h"
#include "store/send_receive.h"
#include "store/store_fixture.h"
#include "support/script_server.h"

namespace qm::test {
namespace {

// A port nothing listens on: a job that tried it would fail with 5.
int unused_port() { return script_server().port(); }

class recording_host : public send_receive_host {
public:
    bool ask_password(std::string_view, password_server, std::string&) override { return false; }  // stored here
    bool run_job(thread& job, std::string_view server, bool) override {
        servers.emplace_back(server);
        if (during_job) during_job(job);
        while (!job.is_finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (job.close_handle() == net_result::ok) return true;
        messages.show(message_kind::error, job_result_message(job));
        return false;
    }
    reporter& report() override { return messages; }

    names servers;
    std::function<void(thread&)> during_job;
    recording_reporter messages;
};

// The login, and a CAPA answer that offers PIPELINING or not.
void pop_login(script_server& pop, bool pipelining = false) {
    pop.send("+OK ready\r\n").exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "+OK\r\n"},
                                       {"CAPA", pipelining ? "+OK\r\nPIPELINING\r\n.\r\n" : "+OK\r\n.\r\n"}});
}

std::string listing(std::size_t count) {
    std::string reply = "+OK\r\n";
    for (std::size_t i = 1; i <= count; ++i) reply += std::to_string(i) + " id-" + std::to_string(i) + "\r\n";
    return reply + ".\r\n";
}

// A whole receive with "POP remove" on: every message fetched and deleted.
void pop_messages(script_server& pop, const names& messages) {
    pop_login(pop);
    pop.expect("STAT").send("+OK " + std::to_string(messages.size()) + " 100\r\n");
    pop.expect("UIDL").send(listing(messages.size()));
    for (std::size_t i = 1; i <= messages.size(); ++i) {
        const std::string number = std::to_string(i);
        pop.expect("RETR " + number).send("+OK\r\n" + messages[i - 1] + ".\r\n");
        pop.expect("DELE " + std::to_string(i)).send("+OK\r\n");
    }
    pop.expect("QUIT").send("+OK\r\n").close();
    pop.start();
}

// A message too big to be filed while files may not grow past `small` bytes.
const std::string big_message = "Subject: big\r\n\r\n" + std::string(200 * 1024, 'x') + "\r\n";
constexpr rlim_t small = 64 * 1024;

std::string mail(const std::string& subject) { return "From: bob@example.com\r\nSubject: " + subject + "\r\n\r\nhi\r\n"; }

// Accounts in the mailbox "mailbox/" of the data directory.
class SendReceive : public store_test {
protected:
    SendReceive() { EXPECT_TRUE(make_directory(mailbox())); }

    std::string mailbox() const { return dir.cp("mailbox/"); }
    std::string folder(const std::string& account, const std::string& name) const {
        return dir / ("mailbox/" + account + "/" + name);
    }
    void add_account(const std::string& title, int pop_port) {
        account_values values;
        values.address = "alice@example.com";
        values.pop_server = values.smtp_server = "127.0.0.1";
        values.pop_port = std::to_string(pop_port);
        values.smtp_port = std::to_string(unused_port());
        values.pop_id = "alice";
        values.pop_password = "s3cret";
        scramble_password(values.pop_password);
        ASSERT_TRUE(create_account(mailbox(), title, values));
    }
    round_result round() { return send_receive(host_, mailbox(), "acct", false); }

    recording_host host_;
};

// Each download is filed as soon as it is whole, while the receive goes on; one that came whole is filed
// also when the receive then fails, in the order the server sent them.
TEST_F(SendReceive, DownloadsAreFiledWhileTheReceiveGoesOnAndWhenItFails) {
    script_server pop;
    pop_login(pop, true);
    pop.exchange({{"STAT", "+OK 3 100\r\n"}, {"UIDL", listing(3)}});
    pop.expect("RETR 1").expect("RETR 2").expect("RETR 3");
    pop.send("+OK\r\n" + mail("one") + ".\r\n+OK\r\n" + mail("two") + ".\r\n").pause(std::chrono::seconds(20));
    pop.start();
    add_account("acct", pop.port());
    const std::string inbox = folder("acct", " 受信箱");
    bool filed_while_receiving = false;
    host_.during_job = [&](thread& job) {
        for (int wait = 0; wait < 10000 && !filed_while_receiving; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            filed_while_receiving = list_names(inbox).size() == 2;
        }
        job.request_cancel();  // the third never comes
    };
    EXPECT_EQ(round().job, net_result::cancelled);
    EXPECT_TRUE(filed_while_receiving);
    EXPECT_EQ(read_bytes(inbox + "/.0/raw") + read_bytes(inbox + "/.1/raw"), mail("one") + mail("two"));
    EXPECT_EQ(host_.messages.texts(), names{"処理を中止しました."});
    EXPECT_EQ(read_bytes(folder("acct", "uid.lst")), "id-1\r\nid-2\r\n");  // the next round fetches only the third
    EXPECT_EQ(list_names(dir / "work"), names{});
    EXPECT_TRUE(remove_work_directory_if_done(dir.cp("work/")));
}

// Leftovers of another account's download are filed into it first, and stop the round while they cannot be
// filed. A download of this round that cannot be filed waits in the work directory, nothing half-made stays,
// and the messages around it are filed.
TEST_F(SendReceive, DownloadsThatCannotBeFiledWaitAndLeftoversGoToTheirOwnAccount) {
    add_account("owner", 0);
    ASSERT_TRUE(add_rule(sj(folder("owner", " ごみ箱/")), "Subject", "spam"));
    settings().arrange_at_receive = true;
    write_bytes(dir / "work/3.pop", mail("spam offer"));
    write_bytes(dir / "work/4.pop", mail("hello"));
    write_bytes(dir / "work/5.pop", big_message);
    write_bytes(dir / "work/download.owner", sj(folder("owner", "")) + "\r\n");
    script_server pop;
    pop_messages(pop, {mail("small"), big_message, mail("after")});
    add_account("acct", pop.port());
    {
        file_size_limit limit(small);
        EXPECT_TRUE(round().filing_problem);
    }
    EXPECT_EQ(host_.servers, names{});  // no receive that would mix acct's mail with it
    // Which file, and where the download waits.
    auto problem = [&](const std::string& account, int download) {
        return names{file_error + "\n(" + folder(account, " 受信箱/.receiving-" + std::to_string(download) + "/1") +
                         ": File too large)",
                     "受信メールの取込処理に問題がありました.",
                     "受信したメール1通が " + (dir / "work/") + " で取り込みを待っています (失われてはいません). 次の送受信で取り込みます."};
    };
    EXPECT_EQ(host_.messages.texts(), problem("owner", 5));
    host_.messages.shown.clear();
    // The second download of this round cannot be put together (a file where it would be); it fails at every
    // try and is told once.
    write_bytes(folder("acct", " 受信箱/.receiving-1"), "");
    EXPECT_TRUE(round().filing_problem);
    names told = problem("acct", 1);
    told[0] = file_error + "\n(" + folder("acct", " 受信箱/.receiving-1/") + ": Not a directory)";
    EXPECT_EQ(host_.messages.texts(), told);
    EXPECT_EQ(pop.failures(), names{});
    EXPECT_EQ(read_bytes(folder("owner", " ごみ箱/.0/raw")), mail("spam offer"));
    EXPECT_TRUE(read_bytes(folder("owner", " 受信箱/.0/raw")) + read_bytes(folder("owner", " 受信箱/.1/raw")) ==
                big_message + mail("hello"));
    EXPECT_EQ(list_names(folder("acct", " 受信箱")), (names{".0", ".1", ".receiving-1"}));
    EXPECT_EQ(read_bytes(folder("acct", " 受信箱/.1/raw")), mail("after"));
    EXPECT_EQ(list_names(dir / "work"), (names{"1.pop", "download.owner"}));
    EXPECT_EQ(read_bytes(dir / "work/1.pop"), big_message);
}

}  // namespace
}  // namespace qm::test
