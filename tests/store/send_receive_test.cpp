#include <functional>
#include <optional>
#include <thread>

#include "store/accounts.h"
#include "config/profile.h"
#include "net/client_name.h"
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
    bool ask_password(std::string_view account, password_server server, std::string& password) override {
        prompts.push_back(std::string(account) + (server == password_server::pop3 ? ":POP3" : ":SMTP"));
        if (typed.empty()) return false;
        password = typed.front();
        typed.erase(typed.begin());
        return true;
    }
    bool run_job(thread& job, std::string_view server, bool) override {
        servers.emplace_back(server);
        while (!job.is_finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (after_job) after_job();
        if (job.close_handle() == net_result::ok) return true;
        messages.show(message_kind::error, job_result_message(job));
        return false;
    }
    void visiting_account(std::string_view title) override { visited.emplace_back(title); }
    reporter& report() override { return messages; }
    void show_inbox(std::string_view inbox) override { inboxes.push_back(u8(inbox)); }

    names typed;  // answers to the prompt; a cancel when none is left
    names prompts, visited, servers, inboxes;
    std::function<void()> after_job;
    recording_reporter messages;
};

void pop_login(script_server& pop) { pop.send("+OK ready\r\n").exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "+OK\r\n"}}); }

// A whole receive with "POP remove" on: every message fetched and deleted.
void pop_messages(script_server& pop, const names& messages) {
    pop_login(pop);
    pop.expect("STAT").send("+OK " + std::to_string(messages.size()) + " 100\r\n");
    for (std::size_t i = 1; i <= messages.size(); ++i) {
        const std::string number = std::to_string(i);
        pop.expect("UIDL " + number).send("+OK " + number + " id-" + number + "\r\n");
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
    void add_account(const std::string& title, int pop_port, int smtp_port = unused_port(), bool smtp_auth = false,
                     std::string pop_password = "s3cret") {
        account_values values;
        values.address = "alice@example.com";
        values.pop_server = values.smtp_server = "127.0.0.1";
        values.pop_port = std::to_string(pop_port);
        values.smtp_port = std::to_string(smtp_port);
        values.pop_id = "alice";
        scramble_password(pop_password);
        values.pop_password = pop_password;
        values.smtp_auth = smtp_auth;
        ASSERT_TRUE(create_account(mailbox(), title, values));
    }
    round_result round(const std::string& title = "acct", bool quiet = false) {
        return send_receive(host_, mailbox(), title, quiet);
    }

    recording_host host_;
};

// (Missing POP3 passwords, and both prompts, are met through the window's round.)
TEST_F(SendReceive, AnIncompleteAccountACancelledSmtpPromptAndAQuietRoundWithNothingToSend) {
    add_account("SMTP", unused_port(), unused_port(), true);
    EXPECT_EQ(round("SMTP").job, net_result::cancelled);
    EXPECT_EQ(host_.prompts, names{"SMTP:SMTP"});
    ASSERT_TRUE(make_directory(mailbox() + "bare"));  // an account with empty settings
    EXPECT_TRUE(round("bare", true).account_incomplete);
    EXPECT_EQ(host_.servers, names{});  // neither connected anywhere
    EXPECT_EQ(host_.messages.texts(), names{"アカウント設定が完了していません."});
    host_.messages.shown.clear();
    script_server pop;
    pop_messages(pop, {mail("one")});
    add_account("acct", pop.port());
    EXPECT_TRUE(round("acct", true).ok());
    EXPECT_EQ(pop.failures(), names{});
    EXPECT_EQ(host_.servers, names{"127.0.0.1"});  // no SMTP connection for an empty outbox
    EXPECT_EQ(host_.messages.texts().size() + host_.inboxes.size(), 0u);
    EXPECT_EQ(read_bytes(folder("acct", " 受信箱/.0/raw")), mail("one"));
}

TEST_F(SendReceive, ADroppedConnectionKeepsTheCompleteDownloadsForTheNextRound) {
    script_server dropping;
    pop_login(dropping);
    dropping.expect("STAT").send("+OK 2 100\r\n").expect("UIDL 1").send("+OK 1 one\r\n");
    dropping.expect("RETR 1").send("+OK\r\n" + mail("one") + ".\r\n").expect("DELE 1").send("+OK\r\n");
    dropping.expect("UIDL 2").send("+OK 2 two\r\n").expect("RETR 2").send("+OK\r\nSubject: two\r\n").close();
    dropping.start();
    add_account("acct", dropping.port());
    EXPECT_EQ(round().job, net_result::closed);
    EXPECT_EQ(list_names(dir / "work"), (names{"0.pop", "download.owner"}));
    EXPECT_EQ(list_names(folder("acct", " 受信箱")), names{});
    // Fetched, and marked for deletion without a QUIT: the next round deletes it unfetched.
    EXPECT_EQ(read_bytes(folder("acct", "uid.lst")), "one\r\n");

    // As after a process killed before filing: kept at exit, and filed by
    // the next round before its receive, which fails here.
    EXPECT_TRUE(remove_work_directory_if_done(dir.cp("work/")));
    EXPECT_EQ(list_names(dir / "work"), (names{"0.pop", "download.owner"}));
    ASSERT_TRUE(profile_write_string(sj(folder("acct", "account.ini")), "account", "POP port",
                                     std::to_string(unused_port()), false));
    host_.messages.shown.clear();
    EXPECT_EQ(round().job, net_result::connect_failed);
    EXPECT_EQ(host_.messages.texts().back(), "接続に失敗しました.\n(Connection refused)");
    EXPECT_EQ(read_bytes(folder("acct", " 受信箱/.0/raw")), mail("one"));
    EXPECT_TRUE(remove_work_directory_if_done(dir.cp("work/")));
    EXPECT_FALSE(exists(dir / "work"));
}

TEST_F(SendReceive, LeftoversGoToTheirOwnAccountAndStopTheRoundWhileTheyCannotBeFiled) {
    add_account("owner", 0);
    ASSERT_TRUE(add_rule(sj(folder("owner", " ごみ箱/")), "Subject", "spam"));
    settings().arrange_at_receive = true;
    write_bytes(dir / "work/3.pop", mail("spam offer"));
    write_bytes(dir / "work/4.pop", mail("hello"));
    write_bytes(dir / "work/5.pop", big_message);
    write_bytes(dir / "work/download.owner", sj(folder("owner", "")) + "\r\n");
    script_server pop;
    pop_messages(pop, {});
    add_account("acct", pop.port());
    {
        file_size_limit limit(small);
        EXPECT_TRUE(round().filing_problem);
    }
    EXPECT_EQ(host_.servers, names{});  // no receive that would mix acct's mail with it
    EXPECT_EQ(host_.messages.texts(), (names{file_error, "受信メールの取込処理に問題がありました."}));
    host_.messages.shown.clear();
    EXPECT_TRUE(round().ok());
    EXPECT_EQ(host_.messages.texts(), names{"新着メールはありません."});
    EXPECT_EQ(read_bytes(folder("owner", " ごみ箱/.0/raw")), mail("spam offer"));
    EXPECT_TRUE(read_bytes(folder("owner", " 受信箱/.0/raw")) + read_bytes(folder("owner", " 受信箱/.1/raw")) ==
                big_message + mail("hello"));
    EXPECT_EQ(list_names(folder("acct", " 受信箱")), names{});
}

TEST_F(SendReceive, ARejectedRecipientKeepsItsMessageQueuedAndTheAcceptedOneIsFiled) {
    script_server pop, smtp;
    pop_messages(pop, {});
    // The client names itself by the machine's domain name, else by its address.
    smtp.send("220 hi\r\n").expect("EHLO " + client_name(machine_domain_name(), "[127.0.0.1]")).send("250-hi\r\n250 AUTH LOGIN\r\n").expect("AUTH LOGIN");
    smtp.send("334 Username:\r\n").expect("alice").send("334 Password:\r\n").expect("typed").send("235 ok\r\n");
    smtp.expect("MAIL FROM:<alice@example.com>").send("250 ok\r\n").expect("RCPT TO:<bob@example.com>");
    smtp.send("250 ok\r\n").expect("DATA").send("354 go\r\n").receive_data().send("250 queued\r\n");
    smtp.expect("MAIL FROM:<alice@example.com>").send("250 ok\r\n").expect("RCPT TO:<nobody@example.com>");
    smtp.send("550 no such user\r\n").expect("RSET").send("250 ok\r\n");
    smtp.expect("QUIT").send("221 bye\r\n").close();
    smtp.start();
    add_account("acct", pop.port(), smtp.port(), true);
    for (std::string to : {"bob", "nobody"})
        write_message(folder("acct", " 送信箱/." + std::to_string(to != "bob") + "/"),
                      {"From: alice@example.com\r\nTo: " + to + "@example.com\r\nSubject: x\r\n", "text\r\n"}, type_status('D'));
    ASSERT_TRUE(make_directory(sj(folder("acct", "仕事"))));
    ASSERT_TRUE(add_rule(sj(folder("acct", "仕事/")), "To", "bob"));
    settings().arrange_at_send = true;
    host_.typed = {"typed"};

    EXPECT_EQ(round().job, net_result::error_reply);
    EXPECT_EQ(smtp.failures(), names{});
    EXPECT_EQ(host_.prompts, names{"acct:SMTP"});
    EXPECT_EQ(host_.messages.texts(),
              (names{"サーバがエラー返答を返しました.", "新着メールはありません.\n1通のメールを送信しました."}));
    EXPECT_EQ(list_names(folder("acct", " 送信箱")), (names{".1", "草稿", "送信控"}));
    // Filed although the job failed, then arranged by the rule.
    EXPECT_NE(read_bytes(folder("acct", "仕事/.0/raw")).find("To: bob@example.com\r\n"), std::string::npos);
    EXPECT_EQ(read_attribute_text(sj(folder("acct", "仕事/.0/0")))[0], type_sent);
    EXPECT_EQ(list_names(dir / "work"), names{});
}

TEST_F(SendReceive, OnlyAnAccountWithAStoredScrambledPasswordIsChecked) {
    script_server pop;
    pop_login(pop);
    pop.expect("STAT").send("+OK 1 10\r\n").expect("UIDL 1").send("+OK 1 new-one\r\n");
    pop.expect("QUIT").send("+OK\r\n").close();
    pop.start();
    add_account("stored", pop.port());
    write_bytes(dir / "mailbox/stored/uid.lst", "old-one\r\n");
    // The window's form: the check runs while the caller goes on.
    std::unique_ptr<thread_pop_check> job = start_new_mail_check(mailbox(), "stored");
    ASSERT_TRUE(job);
    while (!job->is_finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(job->close_handle(), net_result::ok);
    EXPECT_TRUE(job->new_mail());
    EXPECT_EQ(pop.failures(), names{});
    add_account("asks", unused_port(), 0, false, "");
    EXPECT_FALSE(start_new_mail_check(mailbox(), "asks"));
}

// Downloaded whole, the big message of b cannot be filed: it waits in the work directory, nothing half-made
// stays, and the messages around it are filed.
TEST_F(SendReceive, TheRoundOfAllAccountsIsQuietButForFilingProblemsAndEndsWithItsNotice) {
    script_server first, second;
    pop_messages(first, {mail("one")});
    pop_messages(second, {mail("small"), big_message, mail("after")});
    add_account("a", first.port());
    add_account("b", second.port());
    std::optional<file_size_limit> limit;
    host_.after_job = [&] {
        if (host_.visited.size() == 2) limit.emplace(small);
    };
    round_result result = send_receive_all(host_, mailbox());
    limit.reset();
    EXPECT_TRUE(result.filing_problem);
    EXPECT_EQ(host_.visited, (names{"a", "b"}));
    EXPECT_EQ(host_.inboxes, names{});
    EXPECT_EQ(host_.messages.texts(),
              (names{file_error, "受信メールの取込処理に問題がありました.", "巡回送受信が終了しました."}));
    EXPECT_EQ(list_names(folder("b", " 受信箱")), (names{".0", ".1"}));
    EXPECT_EQ(read_bytes(folder("b", " 受信箱/.1/raw")), mail("after"));
    EXPECT_EQ(list_names(dir / "work"), (names{"1.pop", "download.owner"}));
    EXPECT_EQ(read_bytes(dir / "work/1.pop"), big_message);
}

}  // namespace
}  // namespace qm::test
