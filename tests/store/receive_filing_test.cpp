#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "platform/attributes.h"
#include "store/receive_filing.h"
#include "store/store_fixture.h"

namespace qm::test {
namespace {

// Messages as a server sends them, one of each kind that decides the attachment flag.
const std::string plain_message = read_bytes(test_data + "store/filing_iso2022jp_plain.eml");
const std::string html_message = read_bytes(test_data + "store/filing_html_only.eml");
const std::string multipart_message = read_bytes(test_data + "store/filing_multipart_attachment.eml");
const std::string headers_only_message = read_bytes(test_data + "store/filing_headers_only.eml");

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
}

// (A filing cut short at every step, and a full inbox, are met through quillmere-cli sync and import.)
// A batch large enough for two threads: a download that cannot be read (a named pipe, not waited on) stays and
// no staging directory is left; one too large to be put together beside another waits its turn; every other
// download is filed whole, in download order, each raw copy a file of its own.
TEST_F(ReceiveFiling, ADownloadThatFailsMidwayLeavesNothingHalfMadeAndTheOthersAreFiledInOrder) {
    const std::string inbox = at(" 受信箱/");
    std::string big = "Subject: big\r\n\r\n";
    while (big.size() < (5u << 20)) big += std::string(76, 'b') + "\r\n";
    std::vector<std::string> filed;
    for (int n = 1; n <= 10; ++n) {
        const std::string download = dir / ("work/" + std::to_string(n) + ".pop");
        if (n == 4) {
            ASSERT_EQ(::mkfifo(download.c_str(), 0600), 0);
            continue;
        }
        filed.push_back(n == 6 ? big : n % 2 ? plain_message : multipart_message);
        write_bytes(download, filed.back());
    }
    const unsigned download_mode = mode_of(dir / "work/3.pop") & 07777;

    EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), -1);
    ASSERT_EQ(report.texts().size(), 1u);
    EXPECT_TRUE(report.texts()[0].starts_with(file_error + "\n(" + (dir / "work/4.pop") + ": ")) << report.texts()[0];
    EXPECT_EQ(list_names(dir / "work"), names{"4.pop"});
    ASSERT_EQ(list_names(inbox).size(), filed.size());
    for (std::size_t n = 0; n < filed.size(); ++n) {
        const std::string message = inbox + "." + std::to_string(n) + "/";
        EXPECT_TRUE(read_bytes(message + "raw") == filed[n]) << message;
        struct stat raw;
        ASSERT_EQ(::stat((message + "raw").c_str(), &raw), 0);
        EXPECT_EQ(raw.st_nlink, 1u);
        EXPECT_EQ(raw.st_mode & 07777, download_mode);
    }
    EXPECT_EQ(list_names(inbox + ".1"), (names{"0", "1", "2", "raw", "status.ini"}));
}

// A filing cut short leaves the notes of its batch, each naming every staging directory of the batch on a line
// of its own (older runs: its own alone): a download whose staging directory is gone (its message was shown) is
// only removed, one whose staging directory is still there is filed afresh.
TEST_F(ReceiveFiling, TheNotesOfAFilingCutShortDecideWhatIsFiledAgain) {
    message(" 受信箱/", 0, '!');  // what the filing of download 1 made
    for (const auto& [n, text] : {std::pair{1, plain_message}, {2, html_message}, {3, multipart_message}})
        write_bytes(dir / ("work/" + std::to_string(n) + ".pop"), text);
    write_bytes(dir / "work/1.filed", cp(" 受信箱/.receiving-1/") + "\n" + cp(" 受信箱/.receiving-2/"));
    ASSERT_EQ(::link((dir / "work/1.filed").c_str(), (dir / "work/2.filed").c_str()), 0);
    write_bytes(dir / "work/3.filed", cp(" 受信箱/.receiving-3/"));
    write_message(at(" 受信箱/.receiving-2/"), {"Subject: half made\r\n"});

    EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), 3);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(list_names(dir / "work"), names{});
    EXPECT_EQ(list_names(at(" 受信箱")), (names{".0", ".1"}));
    EXPECT_EQ(read_bytes(at(" 受信箱/.1/raw")), html_message);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool address_sanitizer = true;
#else
constexpr bool address_sanitizer = false;
#endif
#else
constexpr bool address_sanitizer = false;
#endif

// The address space the process may take from now on: what it has, and `more` (RLIMIT_AS).
class address_space_room {
public:
    explicit address_space_room(std::size_t more) {
        ::getrlimit(RLIMIT_AS, &old_);
        std::size_t used_kb = 0;
        std::istringstream status(read_bytes("/proc/self/status"));
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("VmSize:")) used_kb = std::stoul(line.substr(7));
        const rlimit room{used_kb * 1024 + more, old_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_AS, &room), 0);
    }
    ~address_space_room() { ::setrlimit(RLIMIT_AS, &old_); }

private:
    rlimit old_{};
};

// Filing needs the message once and its largest part, not several copies of the message; a message that
// still cannot be had in memory is set aside whole, and the downloads after it are filed.
TEST_F(ReceiveFiling, AMessageFitsInTwiceItsSizeAndOneThatDoesNotIsSetAsideWhole) {
    if (address_sanitizer) GTEST_SKIP() << "the address sanitizer reserves far more address space than any limit here";
    std::string big = "Subject: big\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nhi\r\n--b\r\n"
                      "Content-Type: application/octet-stream; name=x.bin\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    for (std::string line = std::string(76, 'Q') + "\r\n"; big.size() < (48u << 20);) big += line;
    big += "--b--\r\n";
    write_bytes(dir / "work/1.pop", big);
    write_bytes(dir / "work/2.pop", plain_message);
    {
        address_space_room room(big.size() * 5 / 2);
        EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), 2);
    }
    EXPECT_TRUE(read_bytes(at(" 受信箱/.0/raw")) == big);  // (no dump of 48 MB on a failure)
    EXPECT_TRUE(exists(at(" 受信箱/.0/2")) && std::filesystem::file_size(at(" 受信箱/.0/2")) > big.size() - 200);
    write_bytes(dir / "work/3.pop", big);
    write_bytes(dir / "work/4.pop", plain_message);
    {
        address_space_room room(big.size() / 2);
        EXPECT_EQ(import_downloaded_messages(dir.cp("work/"), account, report), -1);
    }
    EXPECT_TRUE(read_bytes(dir / "unfiled/3.pop") == big);
    EXPECT_EQ(list_names(at(" 受信箱")), (names{".0", ".1", ".2"}));
    EXPECT_EQ(report.texts(), names{"受信したメールを取り込めませんでした (メモリが足りません). メールはそのまま " +
                                    (dir / "unfiled/3.pop") + " に移してあります."});
}

}  // namespace
}  // namespace qm::test
