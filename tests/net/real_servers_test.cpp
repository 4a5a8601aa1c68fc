// The clients against real servers on loopback: Dovecot for POP3, POP3S and
// APOP; Postfix (passwords checked by its Dovecot) for every SMTP login, SMTPS,
// and the outbox's drafts to many recipients with lines of any length.

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "base/find_nocase.h"
#include "message/message_fixture.h"
#include "message/mime_reader.h"
#include "message/mime_writer.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "net/smtp_client.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/outbox.h"
#include "store/receive_filing.h"
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
struct pop_account {
    link_setup link;
    std::string password;
    bool apop = false, remove = false;
};

class RealServers : public ::testing::Test {
protected:
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
            net_result code = pop_login(link, job, pop_->user(), password, account.apop);
            if (code == net_result::ok)
                code = new_mail ? pop_check(link, job, list_, account.remove, *new_mail)
                                : pop_receive(link, job, work(), list_, account.remove);
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

    // Files the downloads into the account's inbox; the new message directories.
    names file_downloads(std::size_t count) {
        EXPECT_TRUE(exists(dir_ / "account") || (make_directory(account()) && make_special_folders(account())));
        recording_reporter report;
        EXPECT_EQ(import_downloaded_messages(work(), account(), report), static_cast<int>(count));
        EXPECT_EQ(report.texts(), names{});
        EXPECT_EQ(list_names(dir_ / "work"), exists(dir_ / "work/uid.lst") ? names{"uid.lst"} : names{});
        names filed;
        for (std::size_t i = 0; i < count; ++i)
            filed.push_back(dir_ / "account/ 受信箱/." + std::to_string(filed_++) + "/");
        return filed;
    }

    // Files the downloads and compares each (body, the exact copy) with what was delivered.
    void file_and_compare(const names& expected) {
        names filed = file_downloads(expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(read_bytes(filed[i] + "1"), expected[i].substr(expected[i].find("\r\n\r\n") + 2)) << filed[i];
            EXPECT_EQ(read_bytes(filed[i] + "raw"), expected[i]) << filed[i];
        }
    }

    std::size_t list_lines() const {
        std::string list = read_bytes(dir_ / "work/uid.lst");
        return static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n'));
    }
    std::string work() const { return dir_.cp("work/"); }
    std::string account() const { return dir_.cp("account/"); }

    std::unique_ptr<dovecot_server> dovecot_;
    std::unique_ptr<smtp_server> smtp_;
    dovecot_server* pop_ = nullptr;  // the server to receive from
    temp_dir dir_;                   // work/ (with uid.lst) and the account
    std::string list_ = dir_.cp("work/uid.lst");
    int filed_ = 0;
    program_context saved_ = context();
};

class Pop3Dovecot : public RealServers {
protected:
    void SetUp() override { start_dovecot(dovecot_certificate::test_ca); }
    void start_dovecot(dovecot_certificate certificate) {
        std::filesystem::create_directories(dir_ / "work");
        start_server(dovecot_, certificate);
        pop_ = dovecot_.get();
    }
};

TEST_F(Pop3Dovecot, ReceiveFetchesOnlyNewMailAndRemoveEmptiesTheMaildir) {
    names first = deliver(1, 3);
    EXPECT_TRUE(check());
    ASSERT_EQ(receive(plain()), net_result::ok);
    EXPECT_EQ(list_names(dir_ / "work"), (names{"0.pop", "1.pop", "2.pop", "uid.lst"}));
    EXPECT_EQ(list_lines(), 3u);
    EXPECT_FALSE(check());
    file_and_compare(first);

    names second = deliver(4, 2);
    EXPECT_TRUE(check());
    ASSERT_EQ(receive(plain()), net_result::ok);
    EXPECT_EQ(list_names(dir_ / "work"), (names{"0.pop", "1.pop", "uid.lst"}));
    EXPECT_EQ(list_lines(), 5u);
    file_and_compare(second);
    // Without "remove" the server keeps every message as it was.
    first.insert(first.end(), second.begin(), second.end());
    EXPECT_EQ(pop_->messages(), first);

    // With it, mail fetched before is deleted without being fetched again.
    names later = deliver(6, 1);
    pop_account account = plain();
    account.remove = true;
    ASSERT_EQ(receive(account), net_result::ok);
    EXPECT_EQ(pop_->message_count(), 0u);
    EXPECT_EQ(list_lines(), 6u);  // what was deleted, should the QUIT not have reached the server
    file_and_compare(later);
}

TEST_F(Pop3Dovecot, WrongPasswordGives13AndApopAndTlsLogIn) {
    scoped_env trust("SSL_CERT_FILE", pop_->ca_file().c_str());
    pop_account apop = plain();
    apop.apop = true;
    names sent = deliver(1, 1);
    for (pop_account account : {plain(), apop}) {
        account.password = "wrong";
        EXPECT_EQ(receive(account), net_result::bad_password);
        EXPECT_EQ(list_names(dir_ / "work"), names{});
    }
    EXPECT_EQ(pop_->message_count(), 1u);
    for (const pop_account& account : {apop, tls()}) {
        ASSERT_EQ(receive(account), net_result::ok);
        file_and_compare(sent);
        sent = deliver(2, 1);
    }
    EXPECT_NE(pop_->log().find("method=APOP"), std::string::npos);
    EXPECT_NE(pop_->log().find("TLS"), std::string::npos);
}

class Pop3DovecotSelfSigned : public Pop3Dovecot {
protected:
    void SetUp() override { start_dovecot(dovecot_certificate::self_signed); }
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
    file_and_compare(sent);
}

class SmtpServer : public RealServers {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "work");
        start_server(smtp_, own_mailboxes_);
        if (smtp_ && smtp_->running()) pop_ = &smtp_->mail_store();
        set_context({dir_.cp(), dir_.cp(), work(), dir_.cp()});
        ASSERT_TRUE(make_directory(account()) && make_special_folders(account()));
    }

    // A send job as the program runs it: greet and log in, send the queue, then QUIT whatever happened.
    net_result send(smtp_port port = smtp_port::all_mechanisms, bool login = true, std::string password = "") {
        bool tls = port == smtp_port::tls;
        std::string user = smtp_->user();
        if (password.empty()) password = smtp_->password();
        auto body = [&](connection& link, thread& job) {
            std::string secret = password;
            net_result code = smtp_start(link, job, "", login ? &user : nullptr, secret);
            if (code == net_result::ok) code = smtp_send_queue(link, job, work());
            smtp_quit(link, job);
            return code;
        };
        return run_connected({.host = tls ? "localhost" : smtp_->host(), .port = smtp_->port(port), .ssl = tls}, body)
            .result;
    }
    // A draft in the account's outbox: header and body CP932 with "\n".
    std::string queue_draft(const std::string& name, const std::string& header, const std::string& body,
                            bool attachment = false) {
        const std::string draft = dir_ / ("account/ 送信箱/" + name + "/");
        write_bytes(draft + "0", crlf(header));
        write_bytes(draft + "1", crlf(body));
        EXPECT_TRUE(write_initial_status(sj(draft) + "status.ini", type_draft, attachment));
        return draft;
    }

    names own_mailboxes_;  // of the server, by local part
};

TEST_F(SmtpServer, EveryLoginMechanismTakesTheRightPasswordOnly) {
    scoped_env trust("SSL_CERT_FILE", smtp_->ca_file().c_str());
    const struct {
        const char* name;
        smtp_port port;
        bool login;
        std::string method;  // as Postfix logs it for an accepted message
    } cases[] = {
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
        // Stored with the server's line ends, unstuffed; the end mark after the
        // file's last line end adds an empty line.
        const std::string subject = "Subject: " + std::string(c.name) + "\n";
        names stored = pop_->messages();
        EXPECT_EQ(std::count_if(stored.begin(), stored.end(), [&](const std::string& text) {
            return text.find(subject) != std::string::npos && text.ends_with("\n\n.leading dot\n\n");
        }), 1);
        EXPECT_EQ(occurrences(smtp_->log(), "sasl_method=" + c.method + ","), accepted + (c.login ? 1 : 0));
    }
}

TEST_F(SmtpServer, JapaneseMessageWithAttachmentGoesRoundThroughTheServer) {
    const std::string subject = "Subject: 日本語の件名と、少し長めの説明を付けた送信テストです\n";
    const std::string body = "\nこんにちは。SMTP で送ります。\n.で始まる行\n";
    std::string attachment;
    for (int i = 0; i < 3000; ++i) attachment.push_back(static_cast<char>(i * 7 % 256));
    write_bytes(dir_ / "添付資料.bin", attachment);
    const std::string draft = queue_draft(".1", sj("From: アリス <" + smtp_->address() + ">\nTo: " + smtp_->address() +
                                                   "\nCc: bob@example.com\nBcc: carol@example.com\n" + subject),
                                          sj(body), true);
    ASSERT_TRUE(encode_attachment(dir_.cp("添付資料.bin"), sj(draft), 2));

    recording_reporter report;
    ASSERT_EQ(prepare_outbox(account(), work(), report), (outbox_preparation{1, 0}));
    ASSERT_EQ(send(), net_result::ok);
    file_sent_mail(account(), work(), report);
    EXPECT_EQ(report.texts(), names{});
    EXPECT_FALSE(outbox_holds_mail(account()));
    EXPECT_EQ(list_names(dir_ / "account/ 送信箱/送信控"), names{".0"});

    // Cc and Bcc went to their own mailbox; none of the copies names the Bcc.
    ASSERT_TRUE(smtp_->wait_for_delivery(1, 2));
    EXPECT_EQ(pop_->messages()[0].find("carol"), std::string::npos);

    ASSERT_EQ(receive(plain()), net_result::ok);
    const std::string filed = file_downloads(1)[0];
    const std::string stored_header = read_bytes(filed + "0");
    EXPECT_NE(stored_header.find(crlf(sj(subject))), std::string::npos) << u8(stored_header);
    EXPECT_NE(stored_header.find("Cc: bob@example.com"), std::string::npos);
    // No Bcc field (the server's queue id in Received may hold the letters "bcc").
    EXPECT_EQ(find_nocase("\n" + stored_header, "\nBcc:"), std::string::npos);
    EXPECT_EQ(read_bytes(filed + "1"), crlf(sj(body)));
    EXPECT_NE(read_bytes(filed + "2").find(sj("添付資料.bin")), std::string::npos);
    ASSERT_TRUE(decode_part_body(sj(filed), 2, dir_.cp("decoded.bin")));
    EXPECT_EQ(read_bytes(dir_ / "decoded.bin"), attachment);
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

names locals_of_sixty() {
    names locals;
    for (int n = 1; n <= 60; ++n) locals.push_back("user" + std::to_string(n));
    return locals;
}

class Sending : public SmtpServer {
protected:
    Sending() {
        own_mailboxes_ = locals_of_sixty();
        own_mailboxes_.insert(own_mailboxes_.end(), {"taro", "hanako", "topic", "kanji"});
    }
};

// The envelope the outbox reads from each draft's whole header reaches every recipient and nobody
// else, lines of any length arrive as they were typed, and a draft that cannot be sent keeps no other back.
TEST_F(Sending, EveryRecipientGetsTheMailAsTypedAndABadDraftKeepsNoOtherBack) {
    const std::string from = "From: " + smtp_->address() + "\n";
    queue_draft(".1", from + sj("To: taro@example.com (鈴木 一郎)\nCc: hanako@example.com\nTopic: topic@example.com\n") +
                          "Subject: comment form\n",
                "\nhello\n");
    std::string sixty;
    for (const std::string& local : locals_of_sixty()) sixty += (sixty.empty() ? "" : ", ") + local + "@example.com";
    queue_draft(".2", from + "To: " + sixty + "\nSubject: sixty\n", "\nto all of you\n");
    queue_draft(".3", from + sj("To: 鈴木\nSubject: no address\n"), "\nnever sent\n");
    const std::string subject = kanji(250, 0x30), paragraph = kanji(500, 0x35);
    queue_draft(".4", from + "To: kanji@example.com\nSubject: " + subject + "\n", "\n" + paragraph + "\n");

    recording_reporter report;
    ASSERT_EQ(prepare_outbox(account(), work(), report), (outbox_preparation{3, 1}));
    EXPECT_EQ(report.texts(), names{"次のメールは送信できないため、送信箱に残しました.\n件名: no address\n"
                                    "次の宛先はメールアドレスとして使えません:\n    鈴木"});
    ASSERT_EQ(send(), net_result::ok);
    file_sent_mail(account(), work(), report);
    EXPECT_EQ(list_names(dir_ / "account/ 送信箱"), (names{".3", "草稿", "送信控"}));
    EXPECT_EQ(list_names(dir_ / "account/ 送信箱/送信控").size(), 3u);

    names everyone = locals_of_sixty();
    everyone.insert(everyone.end(), {"taro", "hanako", "kanji"});
    ASSERT_TRUE(smtp_->wait_for_own_mailboxes(everyone, 1));
    for (const std::string& local : everyone) EXPECT_EQ(smtp_->own_mailbox(local).size(), 1u) << local;
    EXPECT_EQ(smtp_->own_mailbox("topic").size(), 0u);
    EXPECT_EQ(pop_->message_count(), 0u);

    // python3's email package reads the long subject and paragraph back as they were typed.
    QM_REQUIRE_PYTHON3();
    const std::string delivered = dir_ / "delivered.eml";
    write_bytes(delivered, smtp_->own_mailbox("kanji")[0]);
    EXPECT_EQ(python_output("outgoing/read_back.py", delivered),
              "type: text/plain\nFrom: " + smtp_->address() + "\nTo: kanji@example.com\nSubject: " + u8(subject) +
                  "\nX-Mailer: " + std::string(mailer_name()) + "\nbody: " + u8(paragraph) + "\ndefects: 0\n");
}

}  // namespace
}  // namespace qm::test
