// The first start in an empty data directory: the window opens the account
// dialog over itself, and what the user types there is enough for
// quillmere-cli to send and receive with the real servers.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <iostream>

#include "app/window_.h"
#include "cli/cli_runner.h"
#include "config/layout.h"
#include "config/settings.h"
#include "platform/program_context.h"
#include "store/program_session.h"
#include "support/smtp_server.h"
#include "ui/dialog_account.h"
#include "app/typing.h"
#include "window_fixture.h"

namespace qm::test {
namespace {

class FirstStart : public cli_test {
protected:
    FirstStart() {
        set_context({home.cp(), tmp.cp(), tmp.cp("quillmere.$$$/"), home.cp()});
        settings() = Settings{};
        write_default_settings();
        load_view_settings(settings());
    }
    ~FirstStart() override {
        window.reset();
        set_context(saved_context);
        settings() = saved_settings;
    }
    void TearDown() override {
        if (HasFailure() && server) std::cerr << "--- server logs ---\n" << server->log();
    }

    std::unique_ptr<smtp_server> server;
    Layout layout;
    std::unique_ptr<window_> window;
    const program_context saved_context = context();
    const Settings saved_settings = settings();
};

TEST_F(FirstStart, TheAccountDialogComesFirstAndWhatItSavesSendsAndReceives) {
    start_server(server);
    recording_reporter quiet;
    ASSERT_NE(open_mailbox(settings(), quiet), "");

    bool ok_waited = false, ok_enabled = false;
    modal_hand hand;
    hand.then([&](QWidget* modal) {
        auto* dialog = qobject_cast<dialog_account*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("アカウント"));
        EXPECT_EQ(dialog->title_field()->text(), QString::fromUtf8("標準アカウント"));
        type_into(dialog->title_field(), "home");
        type_into(dialog->address_field(), server->address());
        type_into(dialog->pop_server_field(), server->host());
        type_into(dialog->pop_port_field(), std::to_string(server->mail_store().pop3_port()));
        ok_waited = !dialog->ok_button()->isEnabled();  // no POP3 ID yet
        type_into(dialog->pop_id_field(), server->user());
        type_into(dialog->pop_password_field(), server->password());
        ok_waited = ok_waited && !dialog->ok_button()->isEnabled();  // no SMTP server yet
        type_into(dialog->smtp_server_field(), server->host());
        type_into(dialog->smtp_port_field(), std::to_string(server->port(smtp_port::all_mechanisms)));
        ok_enabled = dialog->ok_button()->isEnabled();
        QTest::mouseClick(dialog->ok_button(), Qt::LeftButton);
    });
    window = std::make_unique<window_>(settings(), layout);
    window->show();
    window->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return hand.done() && !QApplication::activeModalWidget(); }, 10000));
    EXPECT_TRUE(ok_waited);
    EXPECT_TRUE(ok_enabled);
    EXPECT_EQ(hand.boxes(), names{});
    ASSERT_EQ(window->account_selector()->count(), 1);
    EXPECT_EQ(window->account_selector()->currentText(), "home");

    // quillmere-cli finds the saved account with its password stored.
    run_ok("new home --to " + server->address() + " --subject first --queue");
    EXPECT_EQ(run_ok("sync home").err, "通知: 新着メールはありません.\n");
    ASSERT_TRUE(server->wait_for_delivery(1));
    run_ok("sync home");
    const std::string inbox = home / "mailbox/home/ 受信箱/";
    EXPECT_EQ(list_names(inbox), names{".0"});
    EXPECT_NE(read_bytes(inbox + ".0/0").find("Subject: first\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qm::test
