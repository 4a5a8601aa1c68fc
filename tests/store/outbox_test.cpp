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
    // The job sent this message: its prepared file is gone.
    void sent_by_job(std::string_view name) const { std::filesystem::remove(u8(outgoing_path(work, name))); }
    // A queued draft (UTF-8 texts with "\n"), with one attachment when asked.
    void queue(const std::string& name, std::string_view header, std::string_view body, bool attachment = false) {
        const std::string message = at(" 送信箱/" + name + "/");
        write_message(message, {stored(header), stored(body)});
        ASSERT_TRUE(write_initial_status(sj(message) + "status.ini", type_draft, attachment));
        write_bytes(dir / "file.bin", "attached");
        ASSERT_TRUE(!attachment || encode_attachment(dir.cp("file.bin"), sj(message), 2));
    }
};

TEST_F(Outbox, PreparesEveryMessageIntoItsFinalForm) {
    const struct draft { const char* name; std::string header, body, final_header, final_body; } cases[] = {
        {".2", "From: a@example.com\nSubject: ｶﾀｶﾅ\n", "ﾃｽﾄ\nsecond line",  // widened, Date appended
         "From: a@example.com\nSubject: カタカナ\nDate: *\n", "\nテスト\nsecond line\n"},
        {".10", "date: Mon, 1 Jan 2001 00:00:00 +0000\nFrom: a@example.com", "\nalready blank first\n",
         "Date: *\nFrom: a@example.com\n", "\nalready blank first\n"},  // Date replaced in place
    };
    for (const draft& d : cases) queue(d.name, d.header, d.body);
    write_bytes(dir / "work/9.smt", "left by an earlier job");

    ASSERT_TRUE(prepare_outbox(account, work, report));
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(list_names(dir / "work"), (names{"10.env", "10.smt", "2.env", "2.smt", "prepared.lst"}));
    EXPECT_EQ(read_bytes(dir / "work/prepared.lst"), ".2\r\n.10\r\n");
    for (const draft& d : cases) {
        SCOPED_TRACE(d.name);
        const std::string message = at(std::string(" 送信箱/") + d.name + "/");
        EXPECT_EQ(date_marked(read_bytes(message + "0")), stored(d.final_header));
        EXPECT_EQ(read_bytes(message + "1"), stored(d.final_body));
        // The prepared file is the wire form of the message as it now is, and the message keeps a copy.
        const std::string prepared = read_bytes(u8(outgoing_path(work, d.name)));
        ASSERT_TRUE(compose_message(sj(message), dir.cp("again"), "Quillmere win32-jp 3.0.1"));
        EXPECT_EQ(prepared, read_bytes(dir / "again"));
        EXPECT_EQ(read_bytes(message + "raw"), prepared);
        EXPECT_EQ(list_names(message), (names{"0", "1", "raw", "status.ini"}));
    }
}

TEST_F(Outbox, TheEnvelopeGoesBesideTheWireFormWhichLosesItsBccLines) {
    queue(".0", "From: Sender <s@example.com>\nTo: t1@example.com, \"Two\" <t2@example.com>\n"
                "Cc: c@example.com,\n undisclosed-recipients\nBcc: hidden@example.com\nSubject: x\n",
          "\ntext\n");
    queue(".1", "To: b@example.com\nSubject: no sender\n", "\ntext\n");
    ASSERT_TRUE(prepare_outbox(account, work, report));
    // The item without "@" names nobody.
    EXPECT_EQ(read_bytes(dir / "work/0.env"),
              "s@example.com\r\nt1@example.com\r\nt2@example.com\r\nc@example.com\r\nhidden@example.com\r\n");
    EXPECT_EQ(read_bytes(dir / "work/1.env"), "\r\nb@example.com\r\n");
    const std::string wire = read_bytes(dir / "work/0.smt");
    const std::string kept = read_bytes(at(" 送信箱/.0/raw"));
    EXPECT_EQ(wire.find("hidden"), std::string::npos);
    EXPECT_NE(kept.find("Bcc: hidden@example.com\r\n"), std::string::npos);
    EXPECT_EQ(wire, kept.substr(0, kept.find("Bcc:")) + kept.substr(kept.find("Subject:")));
    EXPECT_TRUE(report.shown.empty());
}

TEST_F(Outbox, FailedPreparationLeavesNothingToSend) {
    for (const char* name : {".1", ".2", ".3"}) queue(name, "From: a@example.com\n", "\ntext\n");
    std::filesystem::remove(at(" 送信箱/.2/1"));
    write_bytes(dir / "work/1.pop", "downloaded mail waiting to be filed");

    EXPECT_FALSE(prepare_outbox(account, work, report));
    EXPECT_EQ(report.texts(), names{file_error});
    EXPECT_EQ(list_names(dir / "work"), names{"1.pop"});
    // Filing after it takes nothing for sent.
    file_sent_mail(account, work, report);
    EXPECT_EQ(list_names(at(" 送信箱/送信控")), names{});
    EXPECT_EQ(list_names(at(" 送信箱")), (names{".1", ".2", ".3", "草稿", "送信控"}));
}

TEST_F(Outbox, FilesExactlyTheMessagesTheServerAccepted) {
    write_bytes(at(" 送信箱/送信控/.0/0"), "From: old@example.com\r\n");
    queue(".2", "Subject: two\n", "\ntwo\n", true);
    queue(".3", "Subject: three\n", "\nthree\n");
    queue(".10", "Subject: ten\n", "\nten\n");
    ASSERT_TRUE(prepare_outbox(account, work, report));
    // The job sent .2 and .10, then failed on .3; .4 was queued later.
    sent_by_job(".2");
    sent_by_job(".10");
    queue(".4", "Subject: four\n", "\nfour\n");

    file_sent_mail(account, work, report);
    EXPECT_EQ(list_names(at(" 送信箱")), (names{".3", ".4", "草稿", "送信控"}));
    EXPECT_EQ(list_names(at(" 送信箱/送信控")), (names{".0", ".1", ".2"}));
    EXPECT_EQ(list_names(dir / "work"), names{});
    for (const auto& [directory, subject] : {std::pair{".1/", "two"}, std::pair{".2/", "ten"}}) {
        SCOPED_TRACE(subject);
        const std::string message = cp(std::string(" 送信箱/送信控/") + directory);
        bool attachment = subject == std::string("two");
        EXPECT_EQ(get_subject(message + "0", 100), subject);
        EXPECT_EQ(read_attribute_text(message + "0"), attachment ? "S@  " : "S   ");
        EXPECT_TRUE(is_read_only(message + "0") && is_read_only(message + "1") && !is_read_only(message + "raw"));
        EXPECT_EQ(path_exists(message + "2"), attachment);
    }

    file_sent_mail(account, work, report);  // a second call files nothing
    EXPECT_EQ(list_names(at(" 送信箱/送信控")).size(), 3u);
    EXPECT_TRUE(report.shown.empty());
}

TEST_F(Outbox, HoldsMailWithMoreThanItsTwoFolders) {
    EXPECT_FALSE(outbox_holds_mail(account));
    EXPECT_FALSE(outbox_holds_mail(dir.cp("no account/")));
    std::filesystem::create_directories(at(" 送信箱/user folder"));
    EXPECT_TRUE(outbox_holds_mail(account));
    // Nothing to send there: preparing succeeds with an empty list.
    EXPECT_TRUE(prepare_outbox(account, work, report));
    EXPECT_EQ(list_names(dir / "work"), names{"prepared.lst"});
}

}  // namespace
}  // namespace qm::test
