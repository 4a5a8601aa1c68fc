// quillmere-cli sync end to end against a private Postfix and Dovecot: mail
// queued with quillmere-cli new goes out, comes back over POP3, is filed,
// and a later round finds nothing new; an account added with quillmere-cli
// account sends and receives upgraded to TLS.

#include <filesystem>
#include <iostream>

#include "cli_runner.h"
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

TEST_F(SyncCommand, SendsReceivesAndFilesThenFindsNothingNew) {
    // The POP3 password is stored; the SMTP password is left empty, to be asked at each round.
    std::filesystem::create_directory(home / "mailbox");  // an existing mailbox gets no default account
    add_account("acct", server_->host(), smtp_port::all_mechanisms, "", server_->password() + "\n\n");
    const std::string account = home / "mailbox/acct/";

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

    EXPECT_EQ(run_ok("sync acct", password).err, "SMTPパスワード? \n");
    ASSERT_EQ(list_names(account + " 受信箱"), (names{".0", ".1"}));
    EXPECT_TRUE(contains(read_bytes(account + " 受信箱/.0/0") + read_bytes(account + " 受信箱/.1/0"), sj("Subject: 週報\r\n")));

    EXPECT_EQ(run_ok("sync --all", password).err, "[acct]\nSMTPパスワード? \n通知: 巡回送受信が終了しました.\n");
    EXPECT_EQ(list_names(account + " 受信箱"), (names{".0", ".1"}));
    EXPECT_FALSE(exists(tmp / "quillmere.$$$"));  // nothing left to file
    EXPECT_EQ(run("sync nobody").status, 1);
}

// Postfix's submission port takes neither AUTH nor mail before STARTTLS, and Dovecot answers STLS on its plain
// POP3 port: the upgraded round upgrades both before it logs in, and says EHLO again over TLS.
TEST_F(SyncCommand, AnAccountUpgradedToTlsSendsAndReceives) {
    scoped_env trust("SSL_CERT_FILE", server_->ca_file().c_str());
    const std::string secret = server_->password() + "\n";
    add_account("upgraded", "localhost", smtp_port::starttls, " --pop-stls --smtp-starttls", secret + secret);
    server_->mail_store().deliver(crlf("From: bob@example.com\nTo: alice@example.com\nSubject: hello\n\nhi\n"));
    run_ok("new upgraded --to carol@example.com --subject report --queue");
    const cli_result r = run_ok("sync upgraded --trace");
    EXPECT_EQ(r.err, "通知: 1通のメールを送信しました.\n");  // no password asked: both are stored
    const std::string& trace = r.out;
    const std::size_t starttls = trace.find("C: STARTTLS"), stls = trace.find("C: STLS");
    ASSERT_NE(starttls, std::string::npos) << trace;
    ASSERT_NE(stls, std::string::npos) << trace;
    EXPECT_LT(starttls, trace.find("C: AUTH ")) << trace;
    EXPECT_NE(trace.find("C: EHLO", starttls), std::string::npos) << trace;  // said again over TLS
    EXPECT_LT(stls, trace.find("C: USER ")) << trace;
    EXPECT_NE(trace.find("C: CAPA", stls), std::string::npos) << trace;
    EXPECT_FALSE(contains(trace, server_->password()));
    const std::string account = home / "mailbox/upgraded/";
    ASSERT_EQ(list_names(account + " 受信箱"), names{".0"});
    EXPECT_TRUE(contains(read_bytes(account + " 受信箱/.0/0"), "Subject: hello\r\n"));
    EXPECT_EQ(list_names(account + " 送信箱/送信控").size(), 1u);
    EXPECT_TRUE(server_->wait_for_delivery(0, 1));
}

}  // namespace
}  // namespace qm::test
