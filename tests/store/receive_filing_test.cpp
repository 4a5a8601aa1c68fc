#include <sys/stat.h>

#include "platform/attributes.h"
#include "store/receive_filing.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

// Messages as a server sends them, one of each kind that decides the attachment flag.
const std::string plain_message =
    "From: a@example.com\r\nSubject: plain\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n"
    "\x1b$B$3$s$K$A$O\x1b(B\r\n";
const std::string html_message =
    "From: a@example.com\r\nSubject: html\r\nContent-Type: text/html; charset=us-ascii\r\n\r\n<p>hi</p>\r\n";
const std::string multipart_message =
    "From: a@example.com\r\nSubject: parts\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\npreamble\r\n--b1\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n\r\ntext\r\n--b1\r\n"
    "Content-Type: application/octet-stream; name=\"a.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    "AAECAw==\r\n--b1--\r\n";
const std::string headers_only_message = "From: a@example.com\r\nSubject: nothing else\r\n";

using ReceiveFiling = store_test;

TEST_F(ReceiveFiling, FilesEveryDownloadFileInNumberOrder) {
    const std::string inbox = at(" 受信箱/");
    for (const char* taken : {".0/", ".2/"}) ASSERT_TRUE(make_directory(cp(" 受信箱/") + taken));
    // Lower numbers may be missing; other files are not download files.
    write_bytes(dir / "work/2.pop", plain_message);
    write_bytes(dir / "work/5.pop", html_message);
    write_bytes(dir / "work/10.pop", multipart_message);
    write_bytes(dir / "work/11.pop", headers_only_message);
    write_bytes(dir / "work/x.pop", "not a download");
    ASSERT_TRUE(make_directory(dir.cp("work/7.pop/")));

    EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), 4);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(list_names(dir / "work"), (names{"7.pop", "x.pop"}));
    EXPECT_EQ(list_names(inbox), (names{".0", ".1", ".2", ".3", ".4", ".5"}));

    EXPECT_EQ(read_bytes(inbox + ".1/0"), "From: a@example.com\r\nSubject: plain\r\n");
    EXPECT_EQ(read_bytes(inbox + ".1/1"), "\r\n" + sj("こんにちは") + "\r\n");
    const std::tuple<const char*, const std::string&, char> filed[] = {
        {".1/", plain_message, '-'}, {".3/", html_message, '+'}, {".4/", multipart_message, '+'},
        {".5/", headers_only_message, '+'}};
    for (const auto& [directory, raw, attachment] : filed) {
        std::string message = inbox + directory;
        SCOPED_TRACE(message);
        EXPECT_EQ(read_bytes(message + "raw"), raw);
        EXPECT_EQ(read_bytes(message + "status.ini"),
                  std::string("[mail status]\r\ntype=!\r\nattachment=") + attachment + "\r\nreplied=-\r\nforwarded=-\r\n");
        EXPECT_TRUE(is_read_only(sj(message + "0")) && is_read_only(sj(message + "1")));
    }
    EXPECT_TRUE(import_downloaded_messages(dir.cp("work/"), account, report) == 0 &&
                import_downloaded_messages(dir.cp("missing/"), account, report) == 0);
}

// A staging directory left by a filing cut short is built afresh; a message whose note names a staging
// directory that is gone already reached the inbox and is not filed again.
TEST_F(ReceiveFiling, AFilingCutShortIsFinishedWithoutLosingOrRepeatingAMessage) {
    const std::string inbox = at(" 受信箱/");
    write_bytes(dir / "work/3.pop", plain_message);
    write_bytes(inbox + ".receiving-3/0", "half a header");
    write_bytes(dir / "work/4.pop", html_message);
    write_bytes(dir / "work/4.filed", cp(" 受信箱/.receiving-4/"));
    write_bytes(dir / "work/5.pop", multipart_message);
    write_bytes(dir / "work/5.filed", cp(" 受信箱/.receiving-5/"));
    write_bytes(inbox + ".receiving-5/raw", multipart_message);  // whole, not yet renamed

    EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), 3);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(list_names(dir / "work"), names{});
    EXPECT_EQ(list_names(inbox), (names{".0", ".1"}));
    EXPECT_EQ(read_bytes(inbox + ".0/raw"), plain_message);
    EXPECT_EQ(read_bytes(inbox + ".1/raw"), multipart_message);
    EXPECT_EQ(list_names(inbox + ".1"), (names{"0", "1", "2", "raw", "status.ini"}));
}

TEST_F(ReceiveFiling, AMessageThatCannotBeFiledLeavesItsDownloadFileUntouched) {
    // Unfolding works on a scratch copy: the download keeps the server's exact bytes.
    const std::string folded = "From: a@example.com\r\nSubject: two\r\n words\r\n\r\ntext\r\n";
    write_bytes(dir / "work/3.pop", folded);
    std::filesystem::rename(at(" 受信箱"), at("moved"));
    EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), -1);
    EXPECT_EQ(report.texts(), names{file_error});
    EXPECT_EQ(read_bytes(dir / "work/3.pop"), folded);
    EXPECT_EQ(list_names(dir / "work"), names{"3.pop"});
}

// A download that cannot be read (a named pipe, not waited on) stays, no staging directory is left, and the
// downloads around it are filed whole, each raw copy a file of its own.
TEST_F(ReceiveFiling, ADownloadThatFailsMidwayLeavesNothingHalfMadeAndTheOthersAreFiled) {
    const std::string inbox = at(" 受信箱/");
    write_bytes(dir / "work/1.pop", plain_message);
    ASSERT_EQ(::mkfifo((dir / "work/2.pop").c_str(), 0600), 0);
    write_bytes(dir / "work/3.pop", multipart_message);
    const unsigned download_mode = mode_of(dir / "work/3.pop") & 07777;

    EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), -1);
    EXPECT_EQ(report.texts(), names{file_error});
    EXPECT_EQ(list_names(dir / "work"), names{"2.pop"});
    EXPECT_EQ(list_names(inbox), (names{".0", ".1"}));
    EXPECT_EQ(read_bytes(inbox + ".0/raw"), plain_message);
    EXPECT_EQ(read_bytes(inbox + ".1/raw"), multipart_message);
    struct stat raw;
    ASSERT_EQ(::stat((inbox + ".1/raw").c_str(), &raw), 0);
    EXPECT_EQ(raw.st_nlink, 1u);
    EXPECT_EQ(raw.st_mode & 07777, download_mode);
    EXPECT_EQ(list_names(inbox + ".1"), (names{"0", "1", "2", "raw", "status.ini"}));
}

}  // namespace
}  // namespace qm::test
