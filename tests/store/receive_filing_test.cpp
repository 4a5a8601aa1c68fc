#include <sys/stat.h>

#include <filesystem>

#include "platform/attributes.h"
#include "platform/work_directory.h"
#include "store/accounts.h"
#include "store/arrange_rules.h"
#include "store/receive_filing.h"
#include "store/send_receive.h"
#include "store/store_fixture.h"
#include "support/dovecot_server.h"  // wait_until
#include "support/script_server.h"

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
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"2.pop", plain_message}, {"5.pop", html_message},
                                     {"10.pop", multipart_message}, {"11.pop", headers_only_message},
                                     {"x.pop", "not a download"}})
        write_bytes(dir / ("work/" + name), text);
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
        ASSERT_TRUE(n != 4 || ::mkfifo(download.c_str(), 0600) == 0);
        if (n != 4) write_bytes(download, filed.emplace_back(n == 6 ? big : n % 2 ? plain_message : multipart_message));
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
        struct stat raw {};
        ::stat((message + "raw").c_str(), &raw);
        EXPECT_EQ(std::pair(raw.st_nlink, raw.st_mode & 07777), std::pair(nlink_t{1}, download_mode)) << message;
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
    EXPECT_EQ(std::pair(list_names(dir / "work"), list_names(at(" 受信箱"))), std::pair(names{}, names{".0", ".1"}));
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
    auto file = [&] { return import_downloaded_messages(dir.cp("work/"), account, report); };
    EXPECT_EQ(under_limit<address_space_room>(file, big.size() * 5 / 2), 2);
    EXPECT_TRUE(read_bytes(at(" 受信箱/.0/raw")) == big);  // (no dump of 48 MB on a failure)
    EXPECT_TRUE(exists(at(" 受信箱/.0/2")) && std::filesystem::file_size(at(" 受信箱/.0/2")) > big.size() - 200);
    write_bytes(dir / "work/3.pop", big);
    write_bytes(dir / "work/4.pop", plain_message);
    EXPECT_EQ(under_limit<address_space_room>(file, big.size() / 2), -1);
    EXPECT_TRUE(read_bytes(dir / "unfiled/3.pop") == big);
    EXPECT_EQ(list_names(at(" 受信箱")), (names{".0", ".1", ".2"}));
    EXPECT_EQ(report.texts(), names{"受信したメールを取り込めませんでした (メモリが足りません). メールはそのまま " +
                                    (dir / "unfiled/3.pop") + " に移してあります."});
}

// ---- filing within a round of the window, against a scripted POP3 server ----

// The login, and a CAPA answer that offers PIPELINING or not.
void pop_login(script_server& pop, bool pipelining = false) {
    pop.send("+OK ready\r\n").exchange({{"USER alice", "+OK\r\n"}, {"PASS s3cret", "+OK\r\n"},
                                       {"CAPA", pipelining ? "+OK\r\nPIPELINING\r\n.\r\n" : "+OK\r\n.\r\n"}});
}

std::string listing(std::size_t count) {
    std::string reply = "+OK\r\n";
    for (std::size_t i = 1; i <= count; ++i) reply += std::to_string(i) + " id-" + std::to_string(i) + "\r\n";
    return reply + ".\r\n";
}

// A whole receive with "POP remove" on: every message fetched and deleted.
void pop_messages(script_server& pop, const names& messages) {
    pop_login(pop);
    pop.exchange({{"STAT", "+OK " + std::to_string(messages.size()) + " 100\r\n"}, {"UIDL", listing(messages.size())}});
    for (std::size_t i = 1; i <= messages.size(); ++i)
        pop.exchange({{"RETR " + std::to_string(i), "+OK\r\n" + messages[i - 1] + ".\r\n"},
                      {"DELE " + std::to_string(i), "+OK\r\n"}});
    pop.expect("QUIT").send("+OK\r\n").close();
    pop.start();
}

// A message too big to be filed while files may not grow past 64 KB.
const std::string big_message = "Subject: big\r\n\r\n" + std::string(200 * 1024, 'x') + "\r\n";

std::string mail(const std::string& subject) { return "From: bob@example.com\r\nSubject: " + subject + "\r\n\r\nhi\r\n"; }

// Accounts in the mailbox "mailbox/" of the data directory.
class SendReceive : public store_test {
protected:
    SendReceive() { EXPECT_TRUE(make_directory(mailbox())); }

    std::string mailbox() const { return dir.cp("mailbox/"); }
    std::string folder(const std::string& account, const std::string& name) const {
        return dir / ("mailbox/" + account + "/" + name);
    }
    void add_account(const std::string& title, int pop_port) {
        account_values values;
        values.address = "alice@example.com";
        values.pop_server = values.smtp_server = "127.0.0.1";
        values.pop_port = std::to_string(pop_port);
        values.smtp_port = std::to_string(script_server().port());  // nothing listens: a send would fail with 5
        values.pop_id = "alice";
        values.pop_password = "s3cret";
        scramble_password(values.pop_password);
        ASSERT_TRUE(create_account(mailbox(), title, values));
    }
    round_result round() { return send_receive(host_, mailbox(), "acct", false); }

    recording_host host_;
};

// Each download is filed as soon as it is whole, while the receive goes on; one that came whole is filed
// also when the receive then fails, in the order the server sent them.
TEST_F(SendReceive, DownloadsAreFiledWhileTheReceiveGoesOnAndWhenItFails) {
    script_server pop;
    pop_login(pop, true);
    pop.exchange({{"STAT", "+OK 3 100\r\n"}, {"UIDL", listing(3)}});
    pop.expect("RETR 1").expect("RETR 2").expect("RETR 3");
    pop.send("+OK\r\n" + mail("one") + ".\r\n+OK\r\n" + mail("two") + ".\r\n").pause(std::chrono::seconds(20));
    pop.start();
    add_account("acct", pop.port());
    const std::string inbox = folder("acct", " 受信箱");
    bool filed_while_receiving = false;
    host_.during_job = [&](thread& job) {
        filed_while_receiving = wait_until([&] { return list_names(inbox).size() == 2; }, std::chrono::seconds(10));
        job.request_cancel();  // the third never comes
    };
    EXPECT_EQ(round().job, net_result::cancelled);
    EXPECT_TRUE(filed_while_receiving);
    EXPECT_EQ(read_bytes(inbox + "/.0/raw") + read_bytes(inbox + "/.1/raw"), mail("one") + mail("two"));
    EXPECT_EQ(host_.messages.texts(), names{"処理を中止しました."});
    EXPECT_EQ(read_bytes(folder("acct", "uid.lst")), "id-1\r\nid-2\r\n");  // the next round fetches only the third
    EXPECT_EQ(list_names(dir / "work"), names{});
    EXPECT_TRUE(remove_work_directory_if_done(dir.cp("work/")));
}

// Leftovers of another account's download are filed into it first, and stop the round while they cannot be
// filed. A download of this round that cannot be filed waits in the work directory, nothing half-made stays,
// and the messages around it are filed.
TEST_F(SendReceive, DownloadsThatCannotBeFiledWaitAndLeftoversGoToTheirOwnAccount) {
    add_account("owner", 0);
    ASSERT_TRUE(add_rule(sj(folder("owner", " ごみ箱/")), "Subject", "spam"));
    settings().arrange_at_receive = true;
    write_bytes(dir / "work/3.pop", mail("spam offer"));
    write_bytes(dir / "work/4.pop", mail("hello"));
    write_bytes(dir / "work/5.pop", big_message);
    write_bytes(dir / "work/download.owner", sj(folder("owner", "")) + "\r\n");
    script_server pop;
    pop_messages(pop, {mail("small"), big_message, mail("after")});
    add_account("acct", pop.port());
    EXPECT_TRUE(under_limit<file_size_limit>([&] { return round(); }, rlim_t{64 * 1024}).filing_problem);
    EXPECT_EQ(host_.servers, names{});  // no receive that would mix acct's mail with it
    // Which file, and where the download waits.
    auto problem = [&](const std::string& account, int download) {
        return names{file_error + "\n(" + folder(account, " 受信箱/.receiving-" + std::to_string(download) + "/1") +
                         ": File too large)",
                     "受信メールの取込処理に問題がありました.",
                     "受信したメール1通が " + (dir / "work/") + " で取り込みを待っています (失われてはいません). 次の送受信で取り込みます."};
    };
    EXPECT_EQ(host_.messages.texts(), problem("owner", 5));
    host_.messages.shown.clear();
    // The second download of this round cannot be put together (a file where it would be); it fails at every
    // try and is told once.
    write_bytes(folder("acct", " 受信箱/.receiving-1"), "");
    EXPECT_TRUE(round().filing_problem);
    names told = problem("acct", 1);
    told[0] = file_error + "\n(" + folder("acct", " 受信箱/.receiving-1/") + ": Not a directory)";
    EXPECT_EQ(std::pair(host_.messages.texts(), pop.failures()), std::pair(told, names{}));
    EXPECT_EQ(read_bytes(folder("owner", " ごみ箱/.0/raw")), mail("spam offer"));
    EXPECT_TRUE(read_bytes(folder("owner", " 受信箱/.0/raw")) + read_bytes(folder("owner", " 受信箱/.1/raw")) ==
                big_message + mail("hello"));
    EXPECT_EQ(list_names(folder("acct", " 受信箱")), (names{".0", ".1", ".receiving-1"}));
    EXPECT_EQ(read_bytes(folder("acct", " 受信箱/.1/raw")), mail("after"));
    EXPECT_EQ(list_names(dir / "work"), (names{"1.pop", "download.owner"}));
    EXPECT_EQ(read_bytes(dir / "work/1.pop"), big_message);
}

}  // namespace
}  // namespace qm::test
