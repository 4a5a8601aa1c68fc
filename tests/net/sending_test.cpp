// Outgoing mail through the real Postfix: the envelope the outbox reads from
// each draft's whole header reaches every recipient and nobody else, lines
// of any length arrive as they were typed, and a draft that cannot be sent
// keeps no other from going.

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "message/message_fixture.h"
#include "net/smtp_client.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/outbox.h"
#include "support/job_runner.h"
#include "support/smtp_server.h"
#include "text/sjis_jis.h"

namespace qm::test {
namespace {

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

class Sending : public ::testing::Test {
protected:
    void SetUp() override {
        names own = locals_of_sixty();
        own.insert(own.end(), {"taro", "hanako", "topic", "kanji"});
        start_server(server_, own);
        set_context({dir_.cp(), dir_.cp(), dir_.cp("work/"), dir_.cp()});
        ASSERT_TRUE(make_directory(dir_.cp("work/")) && make_directory(account()) && make_special_folders(account()));
    }
    void TearDown() override {
        set_context(saved_);
        if (HasFailure() && server_) std::cerr << "--- server logs ---\n" << server_->log();
    }

    std::string account() const { return dir_.cp("account/"); }
    // A queued draft: header and body CP932 with "\n".
    void queue(const std::string& name, const std::string& header, const std::string& body) {
        const std::string draft = dir_ / ("account/ 送信箱/" + name + "/");
        write_bytes(draft + "0", crlf(header));
        write_bytes(draft + "1", crlf(body));
        ASSERT_TRUE(write_initial_status(sj(draft) + "status.ini", type_draft, false));
    }
    // A send job as a round runs it, with the login.
    net_result send() {
        std::string user = server_->user();
        auto body = [&](connection& link, thread& job) {
            std::string secret = server_->password();
            net_result code = smtp_start(link, job, smtp_greeting_name(server_->address()), &user, secret);
            if (code == net_result::ok) code = smtp_send_queue(link, job, dir_.cp("work/"));
            smtp_quit(link, job);
            return code;
        };
        return run_connected({.host = server_->host(), .port = server_->port(smtp_port::all_mechanisms)}, body).result;
    }

    std::unique_ptr<smtp_server> server_;
    temp_dir dir_;
    program_context saved_ = context();
};

TEST_F(Sending, EveryRecipientGetsTheMailAsTypedAndABadDraftKeepsNoOtherBack) {
    const std::string from = "From: " + server_->address() + "\n";
    queue(".1", from + sj("To: taro@example.com (鈴木 一郎)\nCc: hanako@example.com\nTopic: topic@example.com\n") +
                    "Subject: comment form\n",
          "\nhello\n");
    std::string sixty;
    for (const std::string& local : locals_of_sixty()) sixty += (sixty.empty() ? "" : ", ") + local + "@example.com";
    queue(".2", from + "To: " + sixty + "\nSubject: sixty\n", "\nto all of you\n");
    queue(".3", from + sj("To: 鈴木\nSubject: no address\n"), "\nnever sent\n");
    const std::string subject = kanji(250, 0x30), paragraph = kanji(500, 0x35);
    queue(".4", from + "To: kanji@example.com\nSubject: " + subject + "\n", "\n" + paragraph + "\n");

    recording_reporter report;
    ASSERT_EQ(prepare_outbox(account(), dir_.cp("work/"), report), (outbox_preparation{3, 1}));
    EXPECT_EQ(report.texts(), names{"次のメールは送信できないため、送信箱に残しました.\n件名: no address\n"
                                    "次の宛先はメールアドレスとして使えません:\n    鈴木"});
    ASSERT_EQ(send(), net_result::ok);
    file_sent_mail(account(), dir_.cp("work/"), report);
    EXPECT_EQ(list_names(dir_ / "account/ 送信箱"), (names{".3", "草稿", "送信控"}));
    EXPECT_EQ(list_names(dir_ / "account/ 送信箱/送信控").size(), 3u);

    names everyone = locals_of_sixty();
    everyone.insert(everyone.end(), {"taro", "hanako", "kanji"});
    ASSERT_TRUE(server_->wait_for_own_mailboxes(everyone, 1));
    for (const std::string& local : everyone) EXPECT_EQ(server_->own_mailbox(local).size(), 1u) << local;
    EXPECT_EQ(server_->own_mailbox("topic").size(), 0u);
    EXPECT_EQ(server_->mail_store().message_count(), 0u);

    // python3's email package reads the long subject and paragraph back as they were typed.
    QM_REQUIRE_PYTHON3();
    const std::string delivered = dir_ / "delivered.eml";
    write_bytes(delivered, server_->own_mailbox("kanji")[0]);
    EXPECT_EQ(python_output("outgoing/read_back.py", delivered),
              "type: text/plain\nFrom: " + server_->address() + "\nTo: kanji@example.com\nSubject: " + u8(subject) +
                  "\nX-Mailer: Quillmere win32-jp 3.0.1\nbody: " + u8(paragraph) + "\ndefects: 0\n");
}

}  // namespace
}  // namespace qm::test
