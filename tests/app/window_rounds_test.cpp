// Send and receive from the window with its job dialogs and password
// prompts: against the private Postfix and Dovecot, mail queued with
// quillmere-cli goes out, comes back and is shown; against scripted servers,
// cancelling, abort and the prompts before any connection.

#include <QLabel>
#include <QPushButton>
#include <iostream>

#include "app/mailto_request.h"
#include "app/window_fixture.h"
#include "app/window_rounds.h"
#include "cli/cli_runner.h"
#include "store/compose.h"
#include "support/script_server.h"
#include "support/smtp_server.h"
#include "ui/dialog_job.h"
#include "ui/dialog_password.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

// Answers what a round opens beyond the queued answers, by kind: message
// boxes with OK, password prompts and job dialogs as the test says.
struct round_hand : modal_hand {
    round_hand() {
        otherwise = [this](QWidget* w) {
            if (auto* prompt = qobject_cast<dialog_password*>(w))
                on_password(*prompt);
            else if (auto* job = qobject_cast<dialog_job*>(w); job && on_job)
                on_job(*job);
            else
                click(w, true);
        };
    }
    std::function<void(dialog_password&)> on_password = [](dialog_password& prompt) {
        ADD_FAILURE() << "unexpected prompt: " << prompt.question()->text().toStdString();
        prompt.reject();
    };
    std::function<void(dialog_job&)> on_job;
};

class SendReceiveWindow : public cli_test {
protected:
    SendReceiveWindow() {
        fresh_data_directory({home.cp(), tmp.cp(), tmp.cp("quillmere.$$$/"), home.cp()});
        window.resize(400, 300);
        window.show();
    }
    void TearDown() override {
        if (HasFailure() && server) std::cerr << "--- server logs ---\n" << server->log();
    }

    // An account of the private servers with its passwords stored.
    account_values server_account() const {
        account_values values = loopback_account(server->mail_store().pop3_port(), server->password());
        values.address = server->address();
        values.pop_server = values.smtp_server = server->host();
        values.smtp_port = std::to_string(server->port(smtp_port::plain_only));
        values.pop_id = server->user();
        values.pop_remove = false;
        values.smtp_auth = true;
        values.smtp_password = values.pop_password;
        return values;
    }
    std::string account(const std::string& title) const { return home / ("mailbox/" + title + "/"); }

    window_round_hooks hooks() {
        window_round_hooks given;
        given.show_inbox = [this](std::string_view inbox) { shown.emplace_back(inbox); };
        given.visiting_account = [this](std::string_view title) { visited.emplace_back(title); };
        given.shift_held = [this] { return shift; };
        return given;
    }
    round_result round(const std::string& title) {
        return run_send_receive(&window, settings().mailbox, sj(title), hooks());
    }

    const saved_context saved;
    std::unique_ptr<smtp_server> server;
    QWidget window;
    bool shift = false;
    names shown, visited;
};

const names asked{"サーバにアクセスしますか?"};

// Stored passwords: no prompt. Shift held at the start: each dialog stays open with its dialogue, the
// passwords masked, until 閉じる. The queued mail goes out, comes back and the inbox is shown.
TEST_F(SendReceiveWindow, QueuedMailGoesOutWithItsDialogueMaskedAndComesBack) {
    start_server(server);
    if (HasFatalFailure() || IsSkipped()) return;
    ASSERT_TRUE(create_account(settings().mailbox, "acct", server_account()));
    run_ok("new acct --to " + server->address() + " --subject " + "週報 --queue");
    round_hand hand;
    shift = true;
    std::vector<std::string> logs;
    hand.on_job = [&](dialog_job& dialog) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.job_ended(); }, 20000));
        QTest::qWait(30);
        EXPECT_TRUE(dialog.isVisible());
        logs.push_back(dialog.log_text());
        QTest::mouseClick(dialog.close_button(), Qt::LeftButton);
    };
    EXPECT_TRUE(round("acct").ok());
    ASSERT_EQ(logs.size(), 2u);
    const std::string stars(server->password().size(), '*');
    EXPECT_NE(logs[0].find("C: USER alice\r\nS: +OK\r\nC: PASS " + stars + "\r\n"), std::string::npos) << logs[0];
    EXPECT_NE(logs[1].find("C: AUTH PLAIN ****"), std::string::npos) << logs[1];
    for (const std::string& log : logs) EXPECT_EQ(log.find(server->password()), std::string::npos);
    EXPECT_EQ(hand.take_boxes(), (names{"サーバにアクセスしますか?", "新着メールはありません.\n1通のメールを送信しました."}));
    ASSERT_TRUE(server->wait_for_delivery(1));

    shift = false;
    hand.on_job = nullptr;
    EXPECT_TRUE(round("acct").ok());
    EXPECT_EQ(hand.take_boxes(), asked);
    EXPECT_EQ(shown, names{sj(account("acct") + " 受信箱/")});
    ASSERT_EQ(list_names(account("acct") + " 受信箱"), names{".0"});
    EXPECT_NE(read_bytes(account("acct") + " 受信箱/.0/0").find(sj("Subject: 週報\r\n")), std::string::npos);

    hand.then_box(false);  // cancelled at the question: nothing happens
    EXPECT_EQ(round("acct").job, net_result::cancelled);
    EXPECT_EQ(hand.take_boxes(), asked);
}

// The editor's 送信 (its request to the running window): the chosen draft goes into the outbox and out
// through the private Postfix alone, the other draft stays, nothing is received, and the round says how
// many mails it sent.
TEST_F(SendReceiveWindow, TheEditorsSendSendsTheChosenDraftAlone) {
    start_server(server);
    if (HasFatalFailure() || IsSkipped()) return;
    ASSERT_TRUE(create_account(settings().mailbox, "acct", server_account()));
    server->mail_store().deliver(crlf("From: bob@example.com\nTo: " + server->address() + "\nSubject: waiting\n\nhi\n"));
    compose_context ctx{settings().mailbox, sj(account("acct")), context().work_directory,
                        load_current_account(settings().mailbox, "acct")};
    recording_reporter quiet;
    for (const char* subject : {"one", "two"})
        ASSERT_GE(create_new_mail_with_body(ctx, "", server->address(), subject, "", "", quiet, false), 0);
    const std::string drafts = account("acct") + " 送信箱/草稿/";
    Layout layout;
    layout.current = sj("acct/ 送信箱/草稿/");
    window_ main(settings(), layout);
    main.show();
    main.start();
    round_hand hand;
    send_draft_when_free(main, drafts + ".1/");
    ASSERT_TRUE(QTest::qWaitFor([&] { return hand.boxes().size() == 2; }, 20000));
    EXPECT_EQ(hand.take_boxes(), (names{"サーバにアクセスしますか?", "1通のメールを送信しました."}));
    EXPECT_EQ(list_names(drafts), names{".0"});
    EXPECT_EQ(list_names(account("acct") + " 受信箱"), names{});  // nothing received
    ASSERT_TRUE(server->wait_for_delivery(1));
    EXPECT_EQ(list_names(account("acct") + " 送信箱/送信控").size(), 1u);
}

TEST_F(SendReceiveWindow, AbortDuringADownloadFilesNothingAndEscapeWaitsForTheWorker) {
    for (const bool escape : {false, true}) {
        script_server pop;
        pop.send("+OK ready\r\n")
            .exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "+OK\r\n"}, {"CAPA", "+OK\r\n.\r\n"},
                       {"STAT", "+OK 1 900\r\n"}, {"UIDL", "+OK\r\n1 first\r\n.\r\n"},
                       {"RETR 1", "+OK\r\nSubject: cut\r\n\r\nfirst line\r\n"}})
            .pause(20s);
        pop.start();
        const std::string title = escape ? "esc" : "abort";
        ASSERT_TRUE(create_account(settings().mailbox, title, loopback_account(pop.port())));
        shift = true;  // the trace keeps the dialog on screen from the start
        round_hand hand;
        bool answered_at_once = false, open_until_the_end = false;
        hand.on_job = [&](dialog_job& dialog) {
            if (dialog.job_ended())  // back on top after the message
                return QTest::mouseClick(dialog.close_button(), Qt::LeftButton);
            ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.log_text().find("S: .") != std::string::npos; }, 10000))
                << dialog.log_text();
            if (escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(dialog.abort_button(), Qt::LeftButton);
            answered_at_once = !dialog.abort_button()->isEnabled();
            open_until_the_end = dialog.isVisible();
        };
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(round(title).job, net_result::cancelled);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);  // not the server's pause
        EXPECT_TRUE(answered_at_once && open_until_the_end);
        EXPECT_EQ(hand.boxes(), (names{"サーバにアクセスしますか?", "処理を中止しました."})) << title;
        EXPECT_EQ(list_names(account(title) + " 受信箱"), names{});
        EXPECT_FALSE(exists(tmp / "quillmere.$$$/0.pop"));
    }
}

// With SMTP AUTH, both prompts come before any connection, each naming its account and server; a Cancel
// at the second connects nowhere.
TEST_F(SendReceiveWindow, PromptsNameAccountAndServerAndComeBeforeAnyConnection) {
    script_server pop;
    pop.send("+OK ready\r\n");
    pop.start();
    account_values asking = loopback_account(pop.port(), "");
    asking.smtp_auth = true;
    ASSERT_TRUE(create_account(settings().mailbox, sj("自宅"), asking));
    round_hand hand;
    std::vector<QString> titles;
    QString question;
    hand.on_password = [&](dialog_password& prompt) {
        titles.push_back(prompt.windowTitle());
        if (titles.size() > 1) return prompt.reject();
        question = prompt.question()->text();
        prompt.field()->setText("typed");
        prompt.accept();
    };
    EXPECT_EQ(round("自宅").job, net_result::cancelled);
    EXPECT_EQ(titles, (std::vector<QString>{QString::fromUtf8("POP3パスワード?"), QString::fromUtf8("SMTPパスワード?")}));
    EXPECT_EQ(question, QString::fromUtf8("アカウント \"自宅\" のPOP3サーバ 127.0.0.1 のパスワード(&P):"));
    EXPECT_FALSE(pop.wait_done(100ms));  // its greeting never went out
    EXPECT_EQ(hand.boxes(), asked);
}

TEST_F(SendReceiveWindow, EndingTheSessionCancelsTheRoundAndFilesTheWholeDownload) {
    script_server pop;
    pop.send("+OK ready\r\n")
        .exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "+OK\r\n"}, {"CAPA", "+OK\r\n.\r\n"},
                   {"STAT", "+OK 2 900\r\n"}, {"UIDL", "+OK\r\n1 first\r\n2 second\r\n.\r\n"},
                   {"RETR 1", "+OK\r\nSubject: kept\r\n\r\nwhole\r\n.\r\n"},
                   {"RETR 2", "+OK\r\nSubject: cut\r\n\r\nfirst line\r\n"}})
        .pause(20s);
    pop.start();
    account_values keeping = loopback_account(pop.port());
    keeping.pop_remove = false;
    ASSERT_TRUE(create_account(settings().mailbox, "a", keeping));
    ASSERT_TRUE(create_account(settings().mailbox, "b", keeping));
    round_hand hand;
    // The dialog stays hidden: the session ends while the second download stalls.
    QTimer::singleShot(500, [] { cancel_running_round(); });
    EXPECT_EQ(run_send_receive_all(&window, settings().mailbox, hooks()).job, net_result::cancelled);
    EXPECT_EQ(visited, names{"a"});  // b is not visited
    EXPECT_EQ(hand.take_boxes(), asked);
    EXPECT_FALSE(round_running());
    EXPECT_EQ(list_names(account("a") + " 受信箱"), names{".0"});  // filed while the second came
    EXPECT_FALSE(exists(tmp / "quillmere.$$$/0.pop") || exists(tmp / "quillmere.$$$/1.pop"));
    EXPECT_EQ(pop.failures(), names{});
}

}  // namespace
}  // namespace qm::test
