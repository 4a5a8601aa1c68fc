// quillmere-cli sync end to end against a private Postfix and Dovecot: mail
// queued with quillmere-cli new goes out, comes back over POP3, is filed,
// and a later round finds nothing new. (The upgrade to TLS is played against
// scripted servers in tests/net.)

#include <filesystem>
#include <iostream>

#include "cli_runner.h"
#include "support/smtp_server.h"

namespace qm::test {
namespace {

class SyncCommand : public cli_test {
protected:
    void SetUp() override { start_server(server_); }
    void TearDown() override { if (HasFailure() && server_) std::cerr << "--- server logs ---\n" << server_->log(); }
    std::unique_ptr<smtp_server> server_;
};

TEST_F(SyncCommand, SendsReceivesAndFilesThenFindsNothingNew) {
    // The POP3 password is stored; the SMTP password is left empty, to be asked at each round.
    std::filesystem::create_directory(home / "mailbox");  // an existing mailbox gets no default account
    run_ok("account add acct --name Alice --address " + server_->address() + " --pop-server " + server_->host() +
               " --pop-port " + std::to_string(server_->mail_store().pop3_port()) + " --pop-user " + server_->user() +
               " --smtp-server " + server_->host() + " --smtp-port " +
               std::to_string(server_->port(smtp_port::all_mechanisms)) + " --smtp-auth --password-fd 0",
           server_->password() + "\n\n");
    const std::string account = home / "mailbox/acct/";

    for (const char* subject : {"週報", "広告のお知らせ"})
        run_ok("new acct --to " + server_->address() + " --subject " + subject + " --queue");
    const std::string password = server_->password() + "\n";
    // The POP3 password is stored; the round says what it sent.
    EXPECT_EQ(run_ok("sync acct", password).err, "SMTPパスワード? \n通知: 新着メールはありません.\n2通のメールを送信しました.\n");
    EXPECT_EQ(list_names(account + " 送信箱/送信控").size(), 2u);
    ASSERT_TRUE(server_->wait_for_delivery(2));

    EXPECT_EQ(run_ok("sync acct", password).err, "SMTPパスワード? \n");
    ASSERT_EQ(list_names(account + " 受信箱"), (names{".0", ".1"}));
    EXPECT_TRUE(contains(read_bytes(account + " 受信箱/.0/0") + read_bytes(account + " 受信箱/.1/0"), sj("Subject: 週報\r\n")));

    EXPECT_EQ(run_ok("sync --all", password).err, "[acct]\nSMTPパスワード? \n通知: 巡回送受信が終了しました.\n");
    EXPECT_EQ(list_names(account + " 受信箱"), (names{".0", ".1"}));
    EXPECT_FALSE(exists(home / "work"));  // nothing left to file
    EXPECT_EQ(run("sync nobody").status, 1);
}

}  // namespace
}  // namespace qm::test
