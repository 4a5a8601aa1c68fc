// The periodic new-mail check against a real Dovecot and a scripted server
// that stalls.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include "app/new_mail_checker.h"
#include "config/account_settings.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/accounts.h"
#include "support/dovecot_server.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

constexpr int wait_ms = 10000;

class NewMailChecker : public ::testing::Test {
protected:
    NewMailChecker() {
        set_context({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        EXPECT_TRUE(make_directory(dir.cp("work/")) && make_directory(mailbox()));
    }
    ~NewMailChecker() override { set_context(saved_context_); }
    std::string mailbox() const { return dir.cp("mailbox/"); }

    // An account whose POP3 password is stored unless it is empty.
    void add_account(const std::string& title, int pop_port, std::string password) {
        account_values values;
        values.address = "alice@example.com";
        values.pop_server = values.smtp_server = "127.0.0.1";
        values.pop_port = std::to_string(pop_port);
        values.pop_id = "alice";
        scramble_password(password);
        values.pop_password = password;
        ASSERT_TRUE(create_account(mailbox(), sj(title), values));
    }
    // One visit of all accounts, which ends in exactly one signal: whether new mail was found.
    bool visit(new_mail_checker& checker) {
        QSignalSpy found(&checker, &new_mail_checker::new_mail_found),
            finished(&checker, &new_mail_checker::check_finished);
        checker.check_now();
        EXPECT_TRUE(QTest::qWaitFor([&] { return found.size() + finished.size() > 0; }, wait_ms));
        EXPECT_FALSE(checker.checking());
        EXPECT_EQ(found.size() + finished.size(), 1);
        return found.size() == 1;
    }

    temp_dir dir;
    program_context saved_context_ = context();
};

TEST_F(NewMailChecker, APlantedMailIsFoundPastAFailingServerAndAnAccountWithoutAStoredPasswordIsNeverAsked) {
    std::unique_ptr<dovecot_server> dovecot;
    start_server(dovecot);
    QTcpServer never_asked;  // anything connecting here would be a check of the account without a password
    ASSERT_TRUE(never_asked.listen(QHostAddress::LocalHost));
    add_account("a-wrong", dovecot->pop3_port(), "not the password");  // silent, and the next one is still asked
    add_account("あとで", never_asked.serverPort(), "");
    add_account("本物", dovecot->pop3_port(), dovecot->password());
    int roots_read = 0;
    new_mail_checker checker([&] {
        ++roots_read;
        return mailbox();
    });
    EXPECT_FALSE(visit(checker));
    EXPECT_EQ(roots_read, 4);  // at each visit: the three accounts, then the end of the list

    dovecot->deliver("From: bob@example.com\r\nSubject: hello\r\n\r\nhi\r\n");
    QSignalSpy found(&checker, &new_mail_checker::new_mail_found);
    checker.check_now();
    EXPECT_TRUE(checker.checking());  // the window goes on while the server is asked
    ASSERT_TRUE(found.wait(wait_ms));
    EXPECT_TRUE(checker.found_new_mail());
    EXPECT_EQ(dovecot->message_count(), 1u);  // a check takes nothing from the server

    // Told once: nothing more is asked until the checker is started again.
    checker.check_now();
    EXPECT_FALSE(checker.checking());
    checker.start(1);
    EXPECT_TRUE(checker.running());
    EXPECT_FALSE(checker.found_new_mail());
    EXPECT_TRUE(visit(checker));
    checker.start(0);
    EXPECT_FALSE(checker.running());
    EXPECT_FALSE(never_asked.hasPendingConnections() || never_asked.waitForNewConnection(0));
}

TEST_F(NewMailChecker, StopDuringACheckEndsTheWorker) {
    script_server silent;
    silent.send("+OK ready\r\n").expect("USER alice").pause(std::chrono::minutes(1));
    silent.start();
    add_account("slow", silent.port(), "s3cret");
    new_mail_checker checker([this] { return mailbox(); });
    QSignalSpy found(&checker, &new_mail_checker::new_mail_found),
        finished(&checker, &new_mail_checker::check_finished);
    checker.start(1);
    checker.check_now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.received().find("USER alice") != std::string::npos; }, wait_ms));
    EXPECT_TRUE(checker.checking());
    EXPECT_EQ(checker.account(), "slow");
    checker.stop();
    EXPECT_FALSE(checker.checking() || checker.running());
    EXPECT_TRUE(checker.account().empty());
    QTest::qWait(50);  // nothing of the stopped check comes later
    EXPECT_EQ(found.size() + finished.size(), 0);
    EXPECT_EQ(silent.received().find("PASS"), std::string::npos);
}

}  // namespace
}  // namespace qm::test
