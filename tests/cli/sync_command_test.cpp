// quillmere-cli sync end to end against a private Postfix and Dovecot: mail
// queued with quillmere-cli new goes out, comes back over POP3, is filed and
// arranged, and a later round finds nothing new; accounts added with
// quillmere-cli account send and receive, plain and upgraded to TLS.

#include <filesystem>
#include <iostream>

#include "cli_runner.h"
#include "store/arrange_rules.h"
#include "support/smtp_server.h"

namespace qm::test {
namespace {

class SyncCommand : public cli_test {
protected:
    void SetUp() override { start_server(server_); }
    void TearDown() override {
        if (HasFailure() && server_) std::cerr << "--- server logs ---\n" << server_->log();
    }
    // quillmere-cli account add for the server's user at `host`, with `options`; the passwords from `input`.
    void add_account(const std::string& title, const std::string& host, smtp_port port, const std::string& options,
                     const std::string& input) {
        run_ok("account add " + title + " --name Alice --address " + server_->address() + " --pop-server " + host +
                   " --pop-port " + std::to_string(server_->mail_store().pop3_port()) + " --pop-user " +
                   server_->user() + " --smtp-server " + host + " --smtp-port " + std::to_string(server_->port(port)) +
                   " --smtp-auth --password-fd 0" + options,
               input);
    }
    std::unique_ptr<smtp_server> server_;
};

TEST_F(SyncCommand, SendsReceivesFilesAndArrangesThenFindsNothingNew) {
    // The POP3 password is stored; the SMTP password is left empty, to be asked at each round.
    std::filesystem::create_directory(home / "mailbox");  // an existing mailbox gets no default account
    add_account("acct", server_->host(), smtp_port::all_mechanisms, "", server_->password() + "\n\n");
    const std::string account = home / "mailbox/acct/";
    ASSERT_TRUE(add_rule(sj(account + " ごみ箱/"), "Subject", sj("広告")));
    write_bytes(home / "quillmere.ini", "[switch]\r\narrange at receive=+\r\n");

    for (const char* subject : {"週報", "広告のお知らせ"}) {
        run_ok("new acct --to " + server_->address() + " --subject " + subject + " --queue");
    }
    const std::string password = server_->password() + "\n";
    // The POP3 password is stored; the round says what it sent.
    EXPECT_EQ(run_ok("sync acct", password).err,
              "SMTPパスワード? \n通知: 新着メールはありません.\n2通のメールを送信しました.\n");
    EXPECT_EQ(list_names(account + " 送信箱"), (names{"草稿", "送信控"}));
    EXPECT_EQ(list_names(account + " 送信箱/送信控").size(), 2u);
    ASSERT_TRUE(server_->wait_for_delivery(2));

    cli_result second = run_ok("sync acct --trace", password);
    EXPECT_EQ(second.err, "SMTPパスワード? \n");
    EXPECT_TRUE(contains(second.out, "C: USER alice\r\nS: +OK")) << second.out;
    EXPECT_TRUE(contains(second.out, "C: PASS " + std::string(server_->password().size(), '*') + "\r\n"));
    EXPECT_FALSE(contains(second.out, server_->password()));
    ASSERT_EQ(list_names(account + " 受信箱"), names{".0"});
    EXPECT_TRUE(contains(read_bytes(account + " 受信箱/.0/0"), sj("Subject: 週報\r\n")));
    ASSERT_EQ(list_names(account + " ごみ箱"), (names{".0", "arrange.lst"}));
    EXPECT_TRUE(contains(read_bytes(account + " ごみ箱/.0/0"), sj("Subject: 広告のお知らせ\r\n")));

    cli_result third = run_ok("sync acct", password);
    EXPECT_TRUE(contains(third.err, "新着メールはありません.")) << third.err;
    EXPECT_EQ(run_ok("sync --all", password).err, "[acct]\nSMTPパスワード? \n通知: 巡回送受信が終了しました.\n");
    EXPECT_EQ(list_names(account + " 受信箱"), names{".0"});
    EXPECT_FALSE(exists(tmp / "quillmere.$$$"));  // nothing left to file

    EXPECT_EQ(run("sync nobody").status, 1);
    EXPECT_EQ(run("sync acct --all").status, 2);
}

// Postfix's submission port takes neither AUTH nor mail before STARTTLS, and Dovecot answers STLS on its plain
// POP3 port: the upgraded round upgrades both before it logs in, and says EHLO again over TLS.
TEST_F(SyncCommand, AddedAccountsSendAndReceivePlainAndUpgradedToTls) {
    scoped_env trust("SSL_CERT_FILE", server_->ca_file().c_str());
    const std::string secret = server_->password() + "\n";
    std::size_t sent = 0;
    for (bool upgraded : {false, true}) {
        const std::string title = upgraded ? "upgraded" : "plain", host = upgraded ? "localhost" : server_->host();
        SCOPED_TRACE(title);
        add_account(title, host, upgraded ? smtp_port::starttls : smtp_port::all_mechanisms,
                    upgraded ? " --pop-stls --smtp-starttls" : "", secret + secret);
        server_->mail_store().deliver(crlf("From: bob@example.com\nTo: alice@example.com\nSubject: hello\n\nhi\n"));
        run_ok("new " + title + " --to carol@example.com --subject report --queue");
        const cli_result r = run_ok("sync " + title + " --trace");
        EXPECT_EQ(r.err, "通知: 1通のメールを送信しました.\n");  // no password asked: both are stored
        const std::string& trace = r.out;
        const std::size_t starttls = trace.find("C: STARTTLS"), auth = trace.find("C: AUTH ");
        const std::size_t stls = trace.find("C: STLS"), user = trace.find("C: USER ");
        ASSERT_NE(auth, std::string::npos) << trace;
        ASSERT_NE(user, std::string::npos) << trace;
        EXPECT_EQ(starttls != std::string::npos, upgraded) << trace;
        EXPECT_EQ(stls != std::string::npos, upgraded) << trace;
        if (upgraded) {
            EXPECT_LT(starttls, auth) << trace;
            EXPECT_NE(trace.find("C: EHLO", starttls), std::string::npos) << trace;  // said again over TLS
            EXPECT_LT(stls, user) << trace;
            EXPECT_NE(trace.find("C: CAPA", stls), std::string::npos) << trace;
        }
        const std::string account = home / ("mailbox/" + title + "/");
        ASSERT_EQ(list_names(account + " 受信箱"), names{".0"});
        EXPECT_TRUE(contains(read_bytes(account + " 受信箱/.0/0"), "Subject: hello\r\n"));
        EXPECT_EQ(list_names(account + " 送信箱"), (names{"草稿", "送信控"}));
        EXPECT_EQ(list_names(account + " 送信箱/送信控").size(), 1u);
        EXPECT_TRUE(server_->wait_for_delivery(0, ++sent));
    }
}

}  // namespace
}  // namespace qm::test
