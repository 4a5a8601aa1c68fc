// The clients against real servers on loopback: Dovecot for POP3, POP3S and
// APOP; Postfix (passwords checked by its Dovecot) for every SMTP login, SMTPS,
// and the outbox's drafts to several recipients with lines of any length.

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "message/message_fixture.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "net/smtp_client.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/outbox.h"
#include "support/dovecot_server.h"
#include "support/job_runner.h"
#include "support/smtp_server.h"
#include "support/test_support.h"
#include "text/sjis_jis.h"

namespace qm::test {
namespace {

// A message as a mail server stores it, with lines the dialogue must stuff.
std::string sample_message(int number) {
    std::string n = std::to_string(number);
    return "From: sender" + n + "@example.com\r\nTo: alice@example.com\r\nSubject: Dovecot sample " + n +
           "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nFirst line of " + n +
           "\r\n.a line that starts with a dot\r\n..two dots\r\n.\r\n" + std::string(1200, 'z') + "\r\nbye\r\n";
}

std::size_t occurrences(const std::string& text, const std::string& pattern) {
    std::size_t count = 0;
    for (std::size_t pos = 0; (pos = text.find(pattern, pos)) != std::string::npos; pos += pattern.size()) ++count;
    return count;
}

// One account's settings for a receive, as a receive job holds them.
struct pop_account { link_setup link; std::string password; bool apop = false, remove = false; };

class RealServers : public ::testing::Test {
protected:
    RealServers() { std::filesystem::create_directories(dir_ / "work"); }
    void TearDown() override {
        set_context(saved_);
        if (HasFailure()) std::cerr << "--- server logs ---\n" << (smtp_ ? smtp_->log() : pop_ ? pop_->log() : "");
    }

    pop_account plain() const { return {{.host = "localhost", .port = pop_->pop3_port()}, pop_->password()}; }
    pop_account tls() const { return {{.host = "localhost", .port = pop_->pop3s_port(), .ssl = true}, pop_->password()}; }

    // A whole receive job (a check, given `new_mail`): connect, log in, receive, quit.
    net_result receive(const pop_account& account, bool* new_mail = nullptr, std::string* detail = nullptr) {
        auto body = [&](connection& link, thread& job) {
            std::string password = account.password;
            pop_capabilities offered;
            net_result code = pop_login(link, job, pop_->user(), password, account.apop);
            if (code == net_result::ok && !new_mail) code = pop_ask_capabilities(link, job, offered);
            pipelined_ = offered.pipelining;
            if (code == net_result::ok)
                code = new_mail ? pop_check(link, job, list_, account.remove, *new_mail)
                                : pop_receive(link, job, work(), list_, {account.remove, offered.pipelining,
                                                                         default_download_limit, {}});
            pop_quit(link, job);
            return code;
        };
        return run_connected(account.link, body, detail).result;
    }

    bool check() {
        bool new_mail = false;
        EXPECT_EQ(receive(plain(), &new_mail), net_result::ok);
        return new_mail;
    }

    names deliver(int first, int count) {
        names sent;
        for (int n = first; n < first + count; ++n) pop_->deliver(sent.emplace_back(sample_message(n)));
        return sent;
    }

    // The downloads are byte for byte what was delivered; they are taken away, as filing them would.
    void expect_downloads(const names& expected) {
        names found;
        for (std::size_t n = 0; n < expected.size(); ++n) {
            found.push_back(read_bytes(dir_ / ("work/" + std::to_string(n) + ".pop")));
            std::filesystem::remove(dir_ / ("work/" + std::to_string(n) + ".pop"));
        }
        EXPECT_EQ(found, expected);
        EXPECT_EQ(list_names(dir_ / "work"), exists(dir_ / "work/uid.lst") ? names{"uid.lst"} : names{});
    }

    std::size_t list_lines() const { return std::ranges::count(read_bytes(dir_ / "work/uid.lst"), '\n'); }
    std::string work() const { return dir_.cp("work/"); }
    std::string account() const { return dir_.cp("account/"); }

    std::unique_ptr<dovecot_server> pop_;  // the Dovecot to receive from
    std::unique_ptr<smtp_server> smtp_;
    temp_dir dir_;  // work/ (with uid.lst) and the account
    std::string list_ = dir_.cp("work/uid.lst");
    bool pipelined_ = false;  // the last receive sent commands ahead
    program_context saved_ = context();
};

class Pop3Dovecot : public RealServers {
protected:
    void SetUp() override { start_server(pop_, dovecot_certificate::test_ca); }
};

TEST_F(Pop3Dovecot, ReceiveFetchesOnlyNewMailAndRemoveEmptiesTheMaildir) {
    names first = deliver(1, 3);
    EXPECT_TRUE(check());
    ASSERT_EQ(receive(plain()), net_result::ok);
    EXPECT_TRUE(pipelined_);  // Dovecot offers PIPELINING
    EXPECT_EQ(list_lines(), 3u);
    EXPECT_FALSE(check());
    expect_downloads(first);
    // Without "remove" the server keeps every message as it was.
    EXPECT_EQ(pop_->messages(), first);

    // With it, mail fetched before is deleted without being fetched again; more than the commands sent ahead.
    names later = deliver(4, 40);
    ASSERT_EQ(receive({.link = plain().link, .password = pop_->password(), .remove = true}), net_result::ok);
    EXPECT_EQ(pop_->message_count(), 0u);
    EXPECT_EQ(list_lines(), 43u);  // what was deleted, should the QUIT not have reached the server
    expect_downloads(later);
}

TEST_F(Pop3Dovecot, WrongPasswordGives13AndApopAndTlsLogIn) {
    scoped_env trust("SSL_CERT_FILE", pop_->ca_file().c_str());
    const pop_account apop{.link = plain().link, .password = pop_->password(), .apop = true};
    names sent = deliver(1, 1);
    for (pop_account account : {plain(), apop}) {
        account.password = "wrong";
        EXPECT_EQ(receive(account), net_result::bad_password);
        EXPECT_EQ(list_names(dir_ / "work"), names{});
    }
    EXPECT_EQ(pop_->message_count(), 1u);
    for (const pop_account& account : {apop, tls()}) {
        ASSERT_EQ(receive(account), net_result::ok);
        expect_downloads(sent);
        sent = deliver(2, 1);
    }
    EXPECT_NE(pop_->log().find("method=APOP"), std::string::npos);
    EXPECT_NE(pop_->log().find("TLS"), std::string::npos);
}

class Pop3DovecotSelfSigned : public Pop3Dovecot {
protected:
    void SetUp() override { start_server(pop_, dovecot_certificate::self_signed); }
};

TEST_F(Pop3DovecotSelfSigned, FailsWithCode5UnlessVerificationIsOff) {
    scoped_env trust("SSL_CERT_FILE", pop_->ca_file().c_str());
    names sent = deliver(1, 1);
    std::string detail;
    EXPECT_EQ(receive(tls(), nullptr, &detail), net_result::connect_failed);
    EXPECT_NE(detail.find("self-signed"), std::string::npos) << detail;
    EXPECT_EQ(list_names(dir_ / "work"), names{});
    pop_account unchecked = tls();
    unchecked.link.verify = false;
    ASSERT_EQ(receive(unchecked), net_result::ok);
    expect_downloads(sent);
}

class SmtpServer : public RealServers {
protected:
    void SetUp() override {
        start_server(smtp_);
        set_context({dir_.cp(), dir_.cp(), work(), dir_.cp()});
        ASSERT_TRUE(make_directory(account()) && make_special_folders(account()));
    }

    // A send job as the program runs it: greet and log in, send the queue, then QUIT whatever happened.
    net_result send(smtp_port port = smtp_port::all_mechanisms, bool login = true, std::string password = "") {
        bool tls = port == smtp_port::tls;
        std::string user = smtp_->user();
        if (password.empty()) password = smtp_->password();
        auto body = [&](connection& link, thread& job) {
            net_result code = smtp_start(link, job, "", login ? &user : nullptr, password);
            if (code == net_result::ok) code = smtp_send_queue(link, job, work());
            smtp_quit(link, job);
            return code;
        };
        return run_connected({.host = tls ? "localhost" : smtp_->host(), .port = smtp_->port(port), .ssl = tls}, body)
            .result;
    }
    // A draft in the account's outbox: header and body CP932 with "\n".
    void queue_draft(const std::string& name, const std::string& header, const std::string& body) {
        const std::string draft = dir_ / ("account/ 送信箱/" + name + "/");
        write_bytes(draft + "0", crlf(header));
        write_bytes(draft + "1", crlf(body));
        EXPECT_TRUE(write_initial_status(sj(draft) + "status.ini", type_draft, false));
    }
};

TEST_F(SmtpServer, EveryLoginMechanismTakesTheRightPasswordOnly) {
    scoped_env trust("SSL_CERT_FILE", smtp_->ca_file().c_str());
    // `method`: as Postfix logs it for an accepted message.
    const struct { const char* name; smtp_port port; bool login; std::string method; } cases[] = {
        {"CRAM-MD5 preferred on a plain connection", smtp_port::all_mechanisms, true, "CRAM-MD5"},
        {"PLAIN", smtp_port::plain_only, true, "PLAIN"},
        {"LOGIN", smtp_port::login_only, true, "LOGIN"},
        {"PLAIN preferred over TLS", smtp_port::tls, true, "PLAIN"},
        {"EHLO without a login", smtp_port::all_mechanisms, false, ""},
    };
    std::size_t delivered = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(dir_ / "work/1.smt", "From: " + smtp_->address() + "\r\nTo: " + smtp_->address() +
                                             "\r\nSubject: " + c.name + "\r\n\r\n.leading dot\r\n");
        write_envelope(dir_ / "work/1.smt", smtp_->address(), {smtp_->address()});
        if (c.login) {
            EXPECT_EQ(send(c.port, true, "wrong password"), net_result::bad_password);
            EXPECT_EQ(list_names(dir_ / "work"), (names{"1.env", "1.smt"}));
        }
        std::size_t accepted = occurrences(smtp_->log(), "sasl_method=" + c.method + ",");
        ASSERT_EQ(send(c.port, c.login), net_result::ok);
        EXPECT_EQ(list_names(dir_ / "work"), names{});
        ASSERT_TRUE(smtp_->wait_for_delivery(++delivered));
        EXPECT_EQ(occurrences(smtp_->log(), "sasl_method=" + c.method + ","), accepted + (c.login ? 1 : 0));
    }
}

// `count` different kanji (CP932), row by row of JIS X 0208 from `first_row`.
std::string kanji(std::size_t count, unsigned first_row) {
    std::string text;
    for (unsigned n = 0; n < count; ++n) {
        unsigned code = jis_code_to_sjis((first_row + n / 94) << 8 | (0x21 + n % 94));
        text += {static_cast<char>(code >> 8), static_cast<char>(code & 0xff)};
    }
    return text;
}

// The copy delivered to `local`@example.com, or "".
std::string delivered_to(const names& messages, const std::string& local) {
    for (const std::string& message : messages)
        if (message.find("Delivered-To: " + local + "@example.com\n") != std::string::npos) return message;
    return "";
}

// The envelope the outbox reads from each draft's header reaches every recipient and nobody else, lines of any length arrive as they were typed, and a draft that cannot be sent keeps no other back.
TEST_F(SmtpServer, EveryRecipientGetsTheMailAsTypedAndABadDraftKeepsNoOtherBack) {
    const std::string from = "From: " + smtp_->address() + "\n";
    queue_draft(".1", from + sj("To: taro@example.com (鈴木 一郎)\nCc: hanako@example.com\nTopic: topic@example.com\n") +
                          "Bcc: carol@example.com\nSubject: comment form\n", "\nhello\n");
    queue_draft(".3", from + sj("To: 鈴木\nSubject: no address\n"), "\nnever sent\n");
    const std::string subject = kanji(250, 0x30), paragraph = kanji(500, 0x35);
    queue_draft(".4", from + "To: kanji@example.com\nSubject: " + subject + "\n", "\n" + paragraph + "\n");

    recording_reporter report;
    ASSERT_EQ(prepare_outbox(account(), work(), report), (outbox_preparation{2, 1}));
    EXPECT_EQ(report.texts(), names{"次のメールは送信できないため、送信箱に残しました.\n件名: no address\n"
                                    "次の宛先はメールアドレスとして使えません:\n    鈴木"});
    ASSERT_EQ(send(), net_result::ok);
    file_sent_mail(account(), work(), report);
    EXPECT_EQ(list_names(dir_ / "account/ 送信箱"), (names{".3", "草稿", "送信控"}));
    EXPECT_EQ(list_names(dir_ / "account/ 送信箱/送信控").size(), 2u);

    // One copy each for To, Cc, Bcc (whom no other copy names) and the second draft; none for Topic.
    ASSERT_TRUE(smtp_->wait_for_delivery(0, 4));
    const names copies = smtp_->others();
    EXPECT_EQ(copies.size(), 4u);
    for (const char* local : {"taro", "hanako", "carol", "kanji"}) EXPECT_NE(delivered_to(copies, local), "") << local;
    EXPECT_EQ(delivered_to(copies, "taro").find("carol"), std::string::npos);
    EXPECT_EQ(smtp_->mail_store().message_count(), 0u);

    // python3's email package reads the long subject and paragraph back as they were typed.
    QM_REQUIRE_PYTHON3();
    const std::string delivered = dir_ / "delivered.eml";
    write_bytes(delivered, delivered_to(copies, "kanji"));
    EXPECT_EQ(python_output("outgoing/read_back.py", delivered),
              "type: text/plain\nFrom: " + smtp_->address() + "\nTo: kanji@example.com\nSubject: " + u8(subject) +
                  "\nX-Mailer: " + std::string(mailer_name()) + "\nbody: " + u8(paragraph) + "\ndefects: 0\n");
}

}  // namespace
}  // namespace qm::test
