// The SMTP client against a real Postfix on loopback that checks passwords
// through Dovecot: every login mechanism, SMTP over TLS, and the whole road
// of a Japanese message with an attachment from the outbox through the
// server and POP3 back into a mailbox.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "message/mime_reader.h"
#include "message/mime_writer.h"
#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "net/smtp_client.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/outbox.h"
#include "store/receive_filing.h"
#include "support/job_runner.h"
#include "support/smtp_server.h"
#include "support/test_support.h"
#include "text/find_nocase.h"

namespace qm {
namespace {

using test::list_names;
using test::read_bytes;
using test::sj;
using test::smtp_port;
using test::smtp_server;
using test::write_bytes;
using names = std::vector<std::string>;

std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
    return out;
}

std::size_t occurrences(const std::string& text, const std::string& pattern) {
    std::size_t count = 0;
    for (std::size_t pos = 0; (pos = text.find(pattern, pos)) != std::string::npos; pos += pattern.size()) ++count;
    return count;
}

class SmtpServer : public ::testing::Test {
protected:
    void SetUp() override {
        const char* ci = std::getenv("CI");
        if (!smtp_server::installed() && !(ci && std::string(ci) == "true"))
            GTEST_SKIP() << "Postfix is not installed (scripts/install-deps.sh test installs it)";
        server_ = std::make_unique<smtp_server>();
        ASSERT_TRUE(server_->running()) << server_->failure();
        std::filesystem::create_directories(dir_ / "work");
        std::filesystem::create_directories(dir_ / "download");
        saved_ = context();
        set_context({dir_.cp(), dir_.cp(), work(), dir_.cp()});
    }

    void TearDown() override {
        set_context(saved_);
        if (HasFailure() && server_) std::cerr << "--- server logs ---\n" << server_->log();
    }

    std::string work() const { return dir_.cp("work/"); }

    // A send job as the program runs it: connect, greet and log in, send the
    // queue, then QUIT whatever happened.
    int send(smtp_port port, bool login, const std::string& password) {
        bool tls = port == smtp_port::tls;
        std::string user = server_->user();
        return test::run_job([&](thread& job) {
                   connection link(false);
                   int code = link.connect_server(job, tls ? "localhost" : server_->host(), server_->port(port),
                                                  false, tls);
                   if (code != result_ok) return code;
                   std::string secret = password;
                   code = smtp_start(link, job, smtp_greeting_name(server_->address()), login ? &user : nullptr,
                                     secret);
                   if (code == result_ok) code = smtp_send_queue(link, job, work());
                   smtp_quit(link, job);
                   link.close_gently();
                   return code;
               })
            .result;
    }

    std::unique_ptr<smtp_server> server_;
    test::temp_dir dir_;
    program_context saved_;
};

TEST_F(SmtpServer, EveryLoginMechanismTakesTheRightPasswordOnly) {
    test::scoped_env trust("SSL_CERT_FILE", server_->ca_file().c_str());
    struct login_case {
        const char* name;
        smtp_port port;
        bool login;
        std::string method;  // as Postfix logs it for an accepted message
    };
    const login_case cases[] = {
        {"CRAM-MD5 preferred on a plain connection", smtp_port::all_mechanisms, true, "CRAM-MD5"},
        {"PLAIN", smtp_port::plain_only, true, "PLAIN"},
        {"LOGIN", smtp_port::login_only, true, "LOGIN"},
        {"PLAIN preferred over TLS", smtp_port::tls, true, "PLAIN"},
        {"HELO without a login", smtp_port::all_mechanisms, false, ""},
    };
    std::size_t delivered = 0;
    for (const login_case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string message = "From: " + server_->address() + "\r\nTo: " + server_->address() +
                                    "\r\nSubject: " + c.name + "\r\n\r\n.leading dot\r\n";
        write_bytes(dir_ / "work/1.smt", message);
        if (c.login) {
            EXPECT_EQ(send(c.port, true, "wrong password"), result_bad_password);
            EXPECT_EQ(list_names(dir_ / "work"), names{"1.smt"});
        }
        std::size_t accepted = occurrences(server_->log(), "sasl_method=" + c.method + ",");
        ASSERT_EQ(send(c.port, c.login, server_->password()), result_ok);
        EXPECT_EQ(list_names(dir_ / "work"), names{});
        ASSERT_TRUE(server_->wait_for_delivery(++delivered));
        // Stored with the server's line ends, unstuffed; the end mark after the
        // file's last line end adds an empty line.
        names stored = server_->mail_store().messages();
        EXPECT_EQ(std::count_if(stored.begin(), stored.end(),
                                [&](const std::string& text) {
                                    return text.find("Subject: " + std::string(c.name) + "\n") != std::string::npos &&
                                           text.ends_with("\n\n.leading dot\n\n");
                                }),
                  1);
        if (c.login) {
            EXPECT_EQ(occurrences(server_->log(), "sasl_method=" + c.method + ","), accepted + 1);
        }
    }
}

TEST_F(SmtpServer, JapaneseMessageWithAttachmentGoesRoundThroughTheServer) {
    const std::string account = dir_.cp("acct/");
    ASSERT_TRUE(make_directory(account) && make_special_folders(account));

    const std::string header = "From: アリス <" + server_->address() + ">\nTo: " + server_->address() +
                               "\nCc: bob@example.com\nBcc: carol@example.com\n"
                               "Subject: 日本語の件名と、少し長めの説明を付けた送信テストです\n";
    const std::string body = "\nこんにちは。SMTP で送ります。\n.で始まる行\n";
    std::string attachment;
    for (int i = 0; i < 3000; ++i) attachment.push_back(static_cast<char>(i * 7 % 256));
    const std::string draft = dir_ / "acct/ 送信箱/.1/";
    write_bytes(draft + "0", crlf(sj(header)));
    write_bytes(draft + "1", crlf(sj(body)));
    write_bytes(dir_ / "添付資料.bin", attachment);
    ASSERT_TRUE(write_initial_status(sj(draft) + "status.ini", type_draft, true));
    ASSERT_TRUE(encode_attachment(dir_.cp("添付資料.bin"), sj(draft), 2));

    test::recording_reporter report;
    ASSERT_TRUE(prepare_outbox(account, work(), report));
    ASSERT_EQ(send(smtp_port::all_mechanisms, true, server_->password()), result_ok);
    file_sent_mail(account, work(), report);
    EXPECT_EQ(report.texts(), names{});
    EXPECT_FALSE(outbox_holds_mail(account));
    EXPECT_EQ(list_names(dir_ / "acct/ 送信箱/送信控"), names{".0"});

    // Cc and Bcc went to their own mailbox; none of the copies names the Bcc.
    ASSERT_TRUE(server_->wait_for_delivery(1, 2));
    EXPECT_EQ(server_->mail_store().messages()[0].find("carol"), std::string::npos);

    int code = test::run_job([&](thread& job) {
                   connection link(false);
                   int result = link.connect_server(job, server_->host(), server_->mail_store().pop3_port(), false,
                                                    false);
                   if (result != result_ok) return result;
                   std::string password = server_->password();
                   result = pop_login(link, job, server_->user(), password, false);
                   if (result == result_ok)
                       result = pop_receive(link, job, dir_.cp("download/"), dir_.cp("uid.lst"), false);
                   pop_quit(link, job);
                   link.close_gently();
                   return result;
               }).result;
    ASSERT_EQ(code, result_ok);
    ASSERT_EQ(import_downloaded_messages(dir_.cp("download/"), account, report), 1);
    EXPECT_EQ(report.texts(), names{});

    const std::string filed = dir_ / "acct/ 受信箱/.0/";
    const std::string stored_header = read_bytes(filed + "0");
    EXPECT_NE(stored_header.find(sj("Subject: 日本語の件名と、少し長めの説明を付けた送信テストです\r\n")), std::string::npos)
        << test::u8(stored_header);
    EXPECT_NE(stored_header.find("Cc: bob@example.com"), std::string::npos);
    EXPECT_EQ(find_nocase(stored_header, "Bcc"), std::string::npos);
    EXPECT_EQ(read_bytes(filed + "1"), crlf(sj(body)));
    EXPECT_NE(read_bytes(filed + "2").find(sj("添付資料.bin")), std::string::npos);
    ASSERT_TRUE(decode_part_body(sj(filed), 2, dir_.cp("decoded.bin")));
    EXPECT_EQ(read_bytes(dir_ / "decoded.bin"), attachment);
}

}  // namespace
}  // namespace qm
