// The POP3 client against a real Dovecot on loopback: plain POP3, POP3 over
// TLS and APOP. What it fetches is filed into a mailbox and compared with
// what was put into the server's maildir.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "platform/file_operations.h"
#include "store/mailbox_layout.h"
#include "store/receive_filing.h"
#include "support/dovecot_server.h"
#include "support/job_runner.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::dovecot_certificate;
using test::dovecot_server;
using test::list_names;
using test::read_bytes;
using test::temp_dir;
using names = std::vector<std::string>;

// Messages as a mail server stores them, with lines the dialogue must stuff.
std::string sample_message(int number) {
    std::string n = std::to_string(number);
    return "From: sender" + n + "@example.com\r\nTo: alice@example.com\r\nSubject: Dovecot sample " + n +
           "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nFirst line of " + n +
           "\r\n.a line that starts with a dot\r\n..two dots\r\n.\r\n" + std::string(1200, 'z') + "\r\nbye\r\n";
}

// One account's settings for a receive, as a receive job holds them.
struct pop_account {
    int port = 0;
    bool ssl = false;
    bool apop = false;
    bool verify = true;
    bool remove = false;
    std::string password;
};

class Pop3Dovecot : public ::testing::Test {
protected:
    void SetUp() override { start(dovecot_certificate::test_ca); }

    void TearDown() override {
        if (HasFailure() && server_) std::cerr << "--- Dovecot log ---\n" << server_->log();
    }

    void start(dovecot_certificate certificate) {
        const char* ci = std::getenv("CI");
        if (!dovecot_server::installed() && !(ci && std::string(ci) == "true"))
            GTEST_SKIP() << "Dovecot is not installed (scripts/install-deps.sh test installs it)";
        server_ = std::make_unique<dovecot_server>(certificate);
        ASSERT_TRUE(server_->running()) << server_->failure();
    }

    pop_account plain() const { return {server_->pop3_port(), false, false, true, false, server_->password()}; }
    pop_account tls() const { return {server_->pop3s_port(), true, false, true, false, server_->password()}; }

    // A whole job: connect, log in, `talk`, quit, close.
    int run(const pop_account& account, const std::function<int(connection&, thread&)>& talk,
            std::string* detail = nullptr) {
        return test::run_job([&](thread& job) {
                   connection link(false);
                   link.set_verify_certificate(account.verify);
                   int code = link.connect_server(job, "localhost", account.port, false, account.ssl);
                   if (detail) *detail = link.error_detail();
                   if (code != result_ok) return code;
                   std::string password = account.password;
                   code = pop_login(link, job, server_->user(), password, account.apop);
                   if (code == result_ok) code = talk(link, job);
                   pop_quit(link, job);
                   link.close_gently();
                   return code;
               })
            .result;
    }

    int receive(const pop_account& account, std::string* detail = nullptr) {
        return run(
            account,
            [&](connection& link, thread& job) { return pop_receive(link, job, work_.cp(), list_, account.remove); },
            detail);
    }

    bool check(const pop_account& account) {
        bool new_mail = false;
        EXPECT_EQ(run(account, [&](connection& link, thread& job) {
                      return pop_check(link, job, list_, account.remove, new_mail);
                  }),
                  result_ok);
        return new_mail;
    }

    std::vector<std::string> deliver(int first, int count) {
        std::vector<std::string> sent;
        for (int n = first; n < first + count; ++n) {
            sent.push_back(sample_message(n));
            server_->deliver(sent.back());
        }
        return sent;
    }

    // Files the downloads into the account's inbox and compares each new
    // message (subject, body and the exact copy) with what was delivered.
    void file_and_compare(const std::vector<std::string>& expected) {
        if (account_.empty()) {
            account_ = mailbox_.cp("account/");
            ASSERT_TRUE(make_directory(account_) && make_special_folders(account_));
        }
        test::recording_reporter report;
        ASSERT_EQ(import_downloaded_messages(work_.cp(), account_, report), static_cast<int>(expected.size()));
        EXPECT_TRUE(report.shown.empty());
        EXPECT_EQ(list_names(work_.path()), list_present() ? names{"uid.lst"} : names{});
        std::string inbox = mailbox_ / "account/ 受信箱/";
        for (const std::string& message : expected) {
            std::string filed = inbox + "." + std::to_string(filed_++) + "/";
            SCOPED_TRACE(filed);
            std::size_t subject = message.find("Subject: ");
            std::string subject_line = message.substr(subject, message.find("\r\n", subject) + 2 - subject);
            std::string body = message.substr(message.find("\r\n\r\n") + 2);
            EXPECT_NE(read_bytes(filed + "0").find(subject_line), std::string::npos) << read_bytes(filed + "0");
            EXPECT_EQ(read_bytes(filed + "1"), body);
            EXPECT_EQ(read_bytes(filed + "raw"), message);
        }
    }

    bool list_present() const { return test::exists(work_ / "uid.lst"); }
    std::size_t list_lines() const {
        std::string list = read_bytes(work_ / "uid.lst");
        return static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n'));
    }

    std::unique_ptr<dovecot_server> server_;
    temp_dir work_;      // the work directory; uid.lst lies here too
    temp_dir mailbox_;
    std::string list_ = work_.cp("uid.lst");
    std::string account_;
    int filed_ = 0;
};

TEST_F(Pop3Dovecot, FirstReceiveFetchesEverythingAndTheSecondOnlyNewMail) {
    std::vector<std::string> first = deliver(1, 3);
    EXPECT_TRUE(check(plain()));
    ASSERT_EQ(receive(plain()), result_ok);
    EXPECT_EQ(list_names(work_.path()), (names{"0.pop", "1.pop", "2.pop", "uid.lst"}));
    EXPECT_EQ(list_lines(), 3u);
    EXPECT_FALSE(check(plain()));
    file_and_compare(first);

    std::vector<std::string> second = deliver(4, 2);
    EXPECT_TRUE(check(plain()));
    ASSERT_EQ(receive(plain()), result_ok);
    EXPECT_EQ(list_names(work_.path()), (names{"0.pop", "1.pop", "uid.lst"}));
    EXPECT_EQ(list_lines(), 5u);
    file_and_compare(second);
    // Without "remove" the server keeps every message as it was.
    first.insert(first.end(), second.begin(), second.end());
    EXPECT_EQ(server_->messages(), first);
}

TEST_F(Pop3Dovecot, RemoveEmptiesTheMaildirAndDeletesTheList) {
    std::vector<std::string> first = deliver(1, 2);
    ASSERT_EQ(receive(plain()), result_ok);
    file_and_compare(first);
    std::vector<std::string> later = deliver(3, 1);

    pop_account account = plain();
    account.remove = true;
    ASSERT_EQ(receive(account), result_ok);
    EXPECT_EQ(server_->message_count(), 0u);
    EXPECT_FALSE(list_present());
    // Mail fetched before is deleted without being fetched again.
    file_and_compare(later);
}

TEST_F(Pop3Dovecot, ApopLogsInWithThePlaintextPassword) {
    std::vector<std::string> sent = deliver(1, 1);
    pop_account account = plain();
    account.apop = true;
    ASSERT_EQ(receive(account), result_ok);
    EXPECT_NE(server_->log().find("method=APOP"), std::string::npos);
    file_and_compare(sent);
}

TEST_F(Pop3Dovecot, WrongPasswordGives13) {
    deliver(1, 1);
    for (bool apop : {false, true}) {
        SCOPED_TRACE(apop ? "apop, then user and pass" : "user and pass");
        pop_account account = plain();
        account.apop = apop;
        account.password = "wrong";
        EXPECT_EQ(receive(account), result_bad_password);
        EXPECT_EQ(list_names(work_.path()), names{});
    }
    EXPECT_EQ(server_->message_count(), 1u);
}

TEST_F(Pop3Dovecot, TlsWithTheTestCa) {
    test::scoped_env trust("SSL_CERT_FILE", server_->ca_file().c_str());
    std::vector<std::string> sent = deliver(1, 2);
    ASSERT_EQ(receive(tls()), result_ok);
    file_and_compare(sent);
    EXPECT_NE(server_->log().find("TLS"), std::string::npos);
}

class Pop3DovecotSelfSigned : public Pop3Dovecot {
protected:
    void SetUp() override { start(dovecot_certificate::self_signed); }
};

TEST_F(Pop3DovecotSelfSigned, FailsWithCode5UnlessVerificationIsOff) {
    test::scoped_env trust("SSL_CERT_FILE", server_->ca_file().c_str());
    std::vector<std::string> sent = deliver(1, 1);
    std::string detail;
    EXPECT_EQ(receive(tls(), &detail), result_connect_failed);
    EXPECT_NE(detail.find("self-signed"), std::string::npos) << detail;
    EXPECT_EQ(list_names(work_.path()), names{});

    pop_account unchecked = tls();
    unchecked.verify = false;
    ASSERT_EQ(receive(unchecked), result_ok);
    file_and_compare(sent);
}

}  // namespace
}  // namespace qm
