#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "message/header_fields.h"
#include "message/mime_writer.h"
#include "platform/attributes.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/outbox.h"
#include "support/test_support.h"

namespace qm {
namespace {

using test::list_names;
using test::read_bytes;
using test::recording_reporter;
using test::sj;
using test::write_bytes;
using names = std::vector<std::string>;

std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
    return out;
}

// An account and a work directory below a temporary directory, which is
// also the context's (widening katakana writes its scratch file there).
class Outbox : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = context();
        set_context({dir_.cp(), dir_.cp(), work(), dir_.cp()});
        std::filesystem::create_directories(dir_ / "work");
        ASSERT_TRUE(make_directory(account()) && make_special_folders(account()));
    }
    void TearDown() override { set_context(saved_); }

    std::string account() const { return dir_.cp("acct/"); }
    std::string work() const { return dir_.cp("work/"); }
    std::string outbox(std::string_view name = "") const { return dir_ / ("acct/ 送信箱/" + std::string(name)); }
    std::string sent(std::string_view name = "") const { return dir_ / ("acct/ 送信箱/送信控/" + std::string(name)); }
    void drop_prepared(std::string_view name) const {
        std::filesystem::remove(test::u8(prepared_file_path(work(), name)));
    }

    // A queued draft (UTF-8 texts with "\n"), with one attachment when asked.
    void queue(std::string_view name, std::string_view header, std::string_view body, bool attachment = false) {
        const std::string message = outbox(name) + "/";
        write_bytes(message + "0", crlf(sj(header)));
        write_bytes(message + "1", crlf(sj(body)));
        ASSERT_TRUE(write_initial_status(sj(message) + "status.ini", type_draft, attachment));
        write_bytes(dir_ / "file.bin", "attached");
        if (attachment) {
            ASSERT_TRUE(encode_attachment(dir_.cp("file.bin"), sj(message), 2));
        }
    }

    test::temp_dir dir_;
    program_context saved_;
};

// The header with its fresh date line (the time of preparation) as "Date: now".
std::string with_date_marked(const std::string& header) {
    static const std::regex date(R"(Date: [A-Z][a-z]{2}, \d{1,2} [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4}\r\n)");
    std::smatch found;
    if (!std::regex_search(header, found, date)) return header;
    return found.prefix().str() + "Date: now\r\n" + found.suffix().str();
}

TEST_F(Outbox, PreparesEveryMessageIntoItsFinalForm) {
    struct draft {
        const char* name;
        std::string header, body, final_header, final_body;
    };
    const draft cases[] = {
        {".2", "From: a@example.com\nSubject: ｶﾀｶﾅ\n", "ﾃｽﾄ\nsecond line",  // widened, Date appended
         "From: a@example.com\nSubject: カタカナ\nDate: now\n", "\nテスト\nsecond line\n"},
        {".10", "date: Mon, 1 Jan 2001 00:00:00 +0000\nFrom: a@example.com", "\nalready blank first\n",
         "Date: now\nFrom: a@example.com\n", "\nalready blank first\n"},  // Date replaced in place
    };
    for (const draft& d : cases) queue(d.name, d.header, d.body);
    write_bytes(dir_ / "work/9.smt", "left by an earlier job");

    recording_reporter report;
    ASSERT_TRUE(prepare_outbox(account(), work(), report));
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(list_names(dir_ / "work"), (names{"10.smt", "2.smt", "prepared.lst"}));
    EXPECT_EQ(read_bytes(dir_ / "work/prepared.lst"), ".2\r\n.10\r\n");
    for (const draft& d : cases) {
        SCOPED_TRACE(d.name);
        const std::string message = outbox(d.name) + "/";
        EXPECT_EQ(with_date_marked(read_bytes(message + "0")), crlf(sj(d.final_header)));
        EXPECT_EQ(read_bytes(message + "1"), crlf(sj(d.final_body)));
        // The prepared file is the wire form of the message as it now is,
        // and the message keeps a copy of it.
        const std::string prepared = read_bytes(test::u8(prepared_file_path(work(), d.name)));
        ASSERT_TRUE(compose_message(sj(message), dir_.cp("again"), "Quillmere win32-jp 3.0.1"));
        EXPECT_EQ(prepared, read_bytes(dir_ / "again"));
        EXPECT_EQ(read_bytes(message + "raw"), prepared);
        EXPECT_EQ(list_names(message), (names{"0", "1", "raw", "status.ini"}));
    }
}

TEST_F(Outbox, FailedPreparationLeavesNothingToSend) {
    for (const char* name : {".1", ".2", ".3"}) queue(name, "From: a@example.com\n", "\ntext\n");
    std::filesystem::remove(outbox(".2/1"));
    write_bytes(dir_ / "work/1.pop", "downloaded mail waiting to be filed");

    recording_reporter report;
    EXPECT_FALSE(prepare_outbox(account(), work(), report));
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    EXPECT_EQ(list_names(dir_ / "work"), names{"1.pop"});
    // Filing after it takes nothing for sent.
    file_sent_mail(account(), work(), report);
    EXPECT_EQ(list_names(sent()), names{});
    EXPECT_EQ(list_names(outbox()), (names{".1", ".2", ".3", "草稿", "送信控"}));
}

TEST_F(Outbox, FilesExactlyTheMessagesTheServerAccepted) {
    write_bytes(sent(".0/0"), "From: old@example.com\r\n");
    queue(".2", "Subject: two\n", "\ntwo\n", true);
    queue(".3", "Subject: three\n", "\nthree\n");
    queue(".10", "Subject: ten\n", "\nten\n");
    recording_reporter report;
    ASSERT_TRUE(prepare_outbox(account(), work(), report));
    // The job sent .2 and .10, then failed on .3; .4 was queued later.
    drop_prepared(".2");
    drop_prepared(".10");
    queue(".4", "Subject: four\n", "\nfour\n");

    file_sent_mail(account(), work(), report);
    EXPECT_EQ(list_names(outbox()), (names{".3", ".4", "草稿", "送信控"}));
    EXPECT_EQ(list_names(sent()), (names{".0", ".1", ".2"}));
    EXPECT_EQ(list_names(dir_ / "work"), names{});
    for (const auto& [directory, subject] : {std::pair{".1/", "two"}, std::pair{".2/", "ten"}}) {
        SCOPED_TRACE(subject);
        const std::string message = sj(sent(directory));
        bool attachment = subject == std::string("two");
        EXPECT_EQ(get_subject(message + "0", 100), subject);
        EXPECT_EQ(read_attribute_text(message + "0"), attachment ? "S@  " : "S   ");
        EXPECT_TRUE(is_read_only(message + "0") && is_read_only(message + "1") && !is_read_only(message + "raw"));
        EXPECT_EQ(path_exists(message + "2"), attachment);
    }

    // A second call files nothing; the next job sends the rest.
    file_sent_mail(account(), work(), report);
    EXPECT_EQ(list_names(sent()).size(), 3u);
    ASSERT_TRUE(prepare_outbox(account(), work(), report));
    drop_prepared(".3");
    drop_prepared(".4");
    file_sent_mail(account(), work(), report);
    EXPECT_EQ(list_names(sent()), (names{".0", ".1", ".2", ".3", ".4"}));
    EXPECT_FALSE(outbox_holds_mail(account()));
    EXPECT_TRUE(report.shown.empty());
}

TEST_F(Outbox, HoldsMailWithMoreThanItsTwoFolders) {
    EXPECT_FALSE(outbox_holds_mail(account()));
    EXPECT_FALSE(outbox_holds_mail(dir_.cp("no account/")));
    std::filesystem::create_directories(outbox("user folder"));
    EXPECT_TRUE(outbox_holds_mail(account()));
    // Nothing to send there: preparing succeeds with an empty list.
    recording_reporter report;
    EXPECT_TRUE(prepare_outbox(account(), work(), report));
    EXPECT_EQ(list_names(dir_ / "work"), names{"prepared.lst"});
    EXPECT_EQ(prepared_file_path(work(), ".7"), work() + "7.smt");
}

}  // namespace
}  // namespace qm
