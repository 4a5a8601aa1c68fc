// The periodic new-mail check against scripted servers that refuse and stall.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include "app/new_mail_checker.h"
#include "config/account_settings.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/accounts.h"
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
    temp_dir dir;
    program_context saved_context_ = context();
};

// A refusing server does not end the visit and an account without a stored password is never asked;
// a stop while a server stalls ends the worker, and nothing of the stopped check comes later.
// (Mail found through a real Dovecot is driven by the tray's end-to-end journey.)
TEST_F(NewMailChecker, TheVisitGoesPastARefusalAndAStopDuringACheckEndsTheWorker) {
    script_server refusing, silent;
    refusing.send("+OK ready\r\n").exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "-ERR no\r\n"}}).close();
    silent.send("+OK ready\r\n").expect("USER alice").pause(std::chrono::minutes(1));
    refusing.start();
    silent.start();
    QTcpServer never_asked;
    ASSERT_TRUE(never_asked.listen(QHostAddress::LocalHost));
    add_account("a-wrong", refusing.port(), "s3cret");
    add_account("b-later", never_asked.serverPort(), "");
    add_account("slow", silent.port(), "s3cret");
    new_mail_checker checker([this] { return mailbox(); });
    QSignalSpy found(&checker, &new_mail_checker::new_mail_found),
        finished(&checker, &new_mail_checker::check_finished);
    checker.start(1);
    checker.check_now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.received().find("USER alice") != std::string::npos; }, wait_ms))
        << checker.account() << refusing.received();
    EXPECT_TRUE(refusing.wait_done());
    checker.stop();
    EXPECT_FALSE(checker.checking() || checker.running());
    QTest::qWait(50);
    EXPECT_EQ(found.size() + finished.size(), 0);
    EXPECT_EQ(silent.received().find("PASS"), std::string::npos);
    EXPECT_FALSE(never_asked.hasPendingConnections() || never_asked.waitForNewConnection(0));
}

}  // namespace
}  // namespace qm::test
