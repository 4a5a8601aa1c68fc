#include <regex>

#include "message/header_fields.h"
#include "message/mime_writer.h"
#include "platform/attributes.h"
#include "platform/work_directory.h"
#include "store/outbox.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

class Outbox : public store_test {
protected:
    std::string work = dir.cp("work/");
    // A queued draft (UTF-8 texts with "\n"), with one attachment when asked.
    void queue(const std::string& name, std::string_view header, std::string_view body = "\ntext\n",
               bool attachment = false) {
        const std::string message = at(" 送信箱/" + name + "/");
        write_message(message, {stored(header), stored(body)});
        ASSERT_TRUE(write_initial_status(sj(message) + "status.ini", type_draft, attachment));
        write_bytes(dir / "file.bin", "attached");
        ASSERT_TRUE(!attachment || encode_attachment(dir.cp("file.bin"), sj(message), 2));
    }
};

// The form a new Message-ID has: the time, 64 random bits, a count, and the sender's domain.
std::string id_marked(const std::string& text) {
    static const std::regex id(R"(Message-ID: <\d{14}\.[0-9a-f]{16}\.\d+@example\.com>)");
    return std::regex_replace(text, id, "Message-ID: *");
}

TEST_F(Outbox, PreparesEveryMessageIntoItsFinalForm) {
    const struct draft { const char* name; std::string header, body, final_header, final_body; } cases[] = {
        {".2", "From: a@example.com\nTo: b@example.com\nSubject: ｶﾀｶﾅ\n", "ﾃｽﾄ\nsecond line",  // widened, Date appended
         "From: a@example.com\nTo: b@example.com\nSubject: カタカナ\nDate: *\nMessage-ID: *\n", "\nテスト\nsecond line\n"},
        {".10", "date: Mon, 1 Jan 2001 00:00:00 +0000\nFrom: a@example.com\nTo: b@example.com", "\nalready blank first\n",
         "Date: *\nFrom: a@example.com\nTo: b@example.com\nMessage-ID: *\n", "\nalready blank first\n"},  // Date replaced in place
        {".11", "From: a@example.com\nTo: b@example.com\nmessage-id: <mine@example.com>\n", "x\n",  // an id kept
         "From: a@example.com\nTo: b@example.com\nmessage-id: <mine@example.com>\nDate: *\n", "\nx\n"},
    };
    for (const draft& d : cases) queue(d.name, d.header, d.body);
    write_bytes(dir / "work/9.smt", "left by an earlier job");

    ASSERT_EQ(prepare_outbox(account, work, report), (outbox_preparation{3, 0}));
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(list_names(dir / "work"), (names{"10.env", "10.smt", "11.env", "11.smt", "2.env", "2.smt", "prepared.lst"}));
    EXPECT_EQ(read_bytes(dir / "work/prepared.lst"), ".2\r\n.10\r\n.11\r\n");
    for (const draft& d : cases) {
        SCOPED_TRACE(d.name);
        const std::string message = at(std::string(" 送信箱/") + d.name + "/");
        EXPECT_EQ(id_marked(date_marked(read_bytes(message + "0"))) + read_bytes(message + "1"),
                  stored(d.final_header) + stored(d.final_body));
        // The prepared file is the wire form of the message as it now is, and the message keeps a copy.
        const std::string prepared = read_bytes(u8(outgoing_path(work, d.name)));
        ASSERT_TRUE(compose_message(sj(message), dir.cp("again"), "Quillmere 3.0.1 (Linux)"));
        EXPECT_EQ(std::pair(read_bytes(dir / "again"), read_bytes(message + "raw")), std::pair(prepared, prepared));
        EXPECT_EQ(list_names(message), (names{"0", "1", "raw", "status.ini"}));
    }
}

TEST_F(Outbox, TheEnvelopeIsReadFromTheWholeHeaderAndTheWireFormLosesItsBccLines) {
    std::string sixty;
    for (int n = 1; n <= 60; ++n) sixty += (n > 1 ? ", " : "") + ("user" + std::to_string(n)) + "@example.com";
    queue(".0", "From: Sender <s@example.com>\nTo: taro@example.com (鈴木 一郎), \"Two\" <t2@example.com>\n"
                "Topic: topic@example.com\nCc: c@example.com,\n undisclosed-recipients:;\nBcc: hidden@example.com\n"
                "To: " + sixty + "\nSubject: x\n");
    ASSERT_EQ(prepare_outbox(account, work, report), (outbox_preparation{1, 0}));
    EXPECT_TRUE(report.shown.empty());
    std::string envelope = "s@example.com\ntaro@example.com\nt2@example.com\n";
    for (int n = 1; n <= 60; ++n) envelope += "user" + std::to_string(n) + "@example.com\n";
    EXPECT_EQ(read_bytes(dir / "work/0.env"), crlf(envelope + "c@example.com\nhidden@example.com\n"));
    const std::string kept = read_bytes(at(" 送信箱/.0/raw"));
    EXPECT_EQ(read_bytes(dir / "work/0.smt"), kept.substr(0, kept.find("Bcc:")) + kept.substr(kept.find("To: user1@")));
}

// (A recipient that is no address is met through the real SMTP server's test.)
TEST_F(Outbox, AMessageThatCannotBePreparedStaysQueuedAndNamedWhileTheOthersGo) {
    queue(".1", "From: a@example.com\nTo: b@example.com\nSubject: one\n");
    queue(".2", "From: a@example.com\nTo: b@example.com\nSubject: two\n");
    std::filesystem::remove(at(" 送信箱/.2/1"));
    queue(".4", "To: b@example.com\n");
    queue(".5", "From: a@example.com\nTopic: b@example.com\nSubject: five\n");
    queue(".6", "From: a@example.com\nTo: b@example.com\nSubject: six\n", "\ntext\n", true);
    write_bytes(dir / "work/1.pop", "downloaded mail waiting to be filed");
    write_bytes(at(" 送信箱/送信控/.0/0"), "From: old@example.com\r\n");

    EXPECT_EQ(prepare_outbox(account, work, report), (outbox_preparation{2, 3}));
    const std::string kept = "次のメールは送信できないため、送信箱に残しました.\n件名: ";
    EXPECT_EQ(report.texts(), (names{kept + "two\n" + file_error, kept + "(件名なし)\n差出人(From)のメールアドレスがありません.",
                                     kept + "five\n宛先(To, Cc, Bcc)がありません."}));
    EXPECT_EQ(list_names(dir / "work"), (names{"1.env", "1.pop", "1.smt", "6.env", "6.smt", "prepared.lst"}));
    EXPECT_FALSE(exists(at(" 送信箱/.4/raw")));
    // The job sends .6 and fails on .1; .7 is queued meanwhile. Filing takes exactly .6, read-only after the
    // sent mail already there, and leaves the download waiting to be filed.
    std::filesystem::remove(u8(outgoing_path(work, ".6")));  // sent: its prepared file is gone
    queue(".7", "From: a@example.com\nTo: b@example.com\nSubject: seven\n");
    file_sent_mail(account, work, report);
    EXPECT_EQ(list_names(at(" 送信箱")), (names{".1", ".2", ".4", ".5", ".7", "草稿", "送信控"}));
    EXPECT_EQ(list_names(dir / "work"), names{"1.pop"});
    const std::string sent = cp(" 送信箱/送信控/.1/");
    EXPECT_EQ(get_subject(sent + "0", 100) + read_attribute_text(sent + "0"), "sixS@  ");
    EXPECT_TRUE(is_read_only(sent + "0") && is_read_only(sent + "1") && !is_read_only(sent + "raw") && path_exists(sent + "2"));
}

// Mail is held with more than the outbox's two folders; when the list cannot be written, nothing is prepared.
TEST_F(Outbox, NothingIsPreparedWhenTheListOfPreparedMessagesCannotBeWritten) {
    EXPECT_FALSE(outbox_holds_mail(account) || outbox_holds_mail(dir.cp("no account/")));
    std::filesystem::create_directories(at(" 送信箱/user folder"));
    EXPECT_TRUE(outbox_holds_mail(account));
    queue(".1", "From: a@example.com\nTo: b@example.com\n");
    std::filesystem::create_directories(dir / "work/prepared.lst/x");
    EXPECT_EQ(prepare_outbox(account, work, report), (outbox_preparation{0, 1}));
    EXPECT_EQ(std::pair(report.texts(), list_names(dir / "work")), std::pair(names{file_error}, names{"prepared.lst"}));
}

}  // namespace
}  // namespace qm::test
