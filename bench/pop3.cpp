// Receiving over POP3 from a Dovecot on loopback, started by the benchmark:
//  - 1,000 messages of about 22 KB, by our client and by fetchmail (Debian's,
//    delivering into one file) from the same maildir of the same server, both
//    in messages per second: the download alone, and `quillmere-cli sync` as
//    a user runs it (the download, every message filed into the inbox while
//    the download goes on);
//  - a mailbox that keeps 10,000 known messages on the server and has 10 new
//    ones: the time of the whole receive (one id listing, 10 downloads),
//    which must stay well under two seconds and so cannot re-read uid.lst
//    for every message;
//  - 200 messages of about 22 KB received with "POP remove", the downloads
//    flushed to the disk before QUIT: into a work directory in memory (where
//    the flush costs nothing) and on the disk (/var/tmp, or
//    QUILLMERE_BENCH_DISK), and by fetchmail deleting as well (into one file
//    on the same disk, not flushed), all in messages per second.
// Run bench_pop3 on its own: the rates depend on a quiet machine. Each timed
// run starts with everything written out (sync), and on a disk file system
// (TMPDIR=/var/tmp) the figures also depend on what was deleted in the
// minutes before: ext4 without a journal steps over every inode freed in
// the last minute when it makes a new file (in the last five where that
// part of its inode table is not yet written out). So the benchmarks that
// make thousands of files delete none until the program ends; run it six
// minutes after anything large was deleted (another benchmark's clean-up
// included).

#include <benchmark/benchmark.h>

#include <pwd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "net/connection.h"
#include "net/pop3_client.h"
#include "net/result_codes.h"
#include "config/account_settings.h"
#include "store/accounts.h"
#include "support/dovecot_server.h"
#include "support/job_runner.h"

namespace {

using namespace qm::bench;
using qm::test::dovecot_server;

constexpr int large_count = 1000;
constexpr std::size_t large_size = 22 * 1024;
constexpr int kept_count = 10000;
constexpr int new_count = 10;
constexpr int removed_count = 200;

// A plain-text message of about `size` bytes in 76-character lines, some of
// which begin with a dot.
std::string sample_message(int number, std::size_t size) {
    std::string n = std::to_string(number);
    std::string message = "From: sender" + n + "@example.com\r\nTo: alice@example.com\r\nSubject: benchmark message " +
                          n + "\r\nMessage-ID: <" + n + "@bench.example>\r\n\r\n";
    append_numbered_lines(message, number, size, 76);
    return message;
}

void clear_downloads(const std::string& directory) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(directory, ec))
        if (entry.path().extension() == ".pop") fs::remove(entry.path(), ec);
}

std::size_t count_downloads(const std::string& directory) {
    std::size_t count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(directory, ec)) count += entry.path().extension() == ".pop";
    return count;
}

// Where the runs of the benchmarks that make thousands of files leave
// them: nothing is deleted until the benchmark program ends (a repetition
// that freed its files would slow the next by what it freed, see the top),
// and every run has a directory of its own, numbered across repetitions.
std::string lasting_run_directory(const std::string& stem) {
    static scratch_directory lasting;
    static int runs = 0;
    std::string directory = lasting.path() + stem + std::to_string(runs++) + "/";
    std::error_code ec;
    fs::create_directories(directory, ec);
    return directory;
}

// A receive job as the program runs it: connect, USER/PASS, CAPA, receive
// (pipelined: Dovecot offers PIPELINING), QUIT.
qm::net_result receive(const dovecot_server& server, const std::string& work, bool remove = false) {
    return qm::test::run_connected(
               {.host = server.host(), .port = server.pop3_port()},
               [&](qm::connection& link, qm::thread& job) {
                   std::string password = server.password();
                   qm::pop_capabilities offered;
                   qm::net_result code = qm::pop_login(link, job, server.user(), password, false);
                   if (code == qm::net_result::ok) code = qm::pop_ask_capabilities(link, job, offered);
                   if (code == qm::net_result::ok)
                       code = qm::pop_receive(link, job, work, work + "uid.lst",
                                              {remove, offered.pipelining, qm::default_download_limit, {}});
                   qm::pop_quit(link, job);
                   return code;
               })
        .result;
}

// Bytes this process has read from files and pipes so far (not counting
// socket receives), from /proc/self/io.
long long bytes_read_from_files() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

// The server with the 1,000 large messages, shared by our client and
// fetchmail so that both fetch the same maildir.
dovecot_server* large_server() {
    static std::unique_ptr<dovecot_server> server = [] {
        auto made = std::make_unique<dovecot_server>();
        if (made->running())
            for (int n = 0; n < large_count; ++n) made->deliver(sample_message(n, large_size));
        return made;
    }();
    return server.get();
}

// Everything written out, and a pause.
void settle_file_system() {
    ::sync();
    std::this_thread::sleep_for(std::chrono::seconds(6));
}

double quillmere_rate = 0;
double fetchmail_rate = 0;

void BM_Pop3ReceiveLarge_Quillmere(benchmark::State& state) {
    dovecot_server* server = large_server();
    if (!server->running()) return state.SkipWithError(server->failure().c_str());
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string directory = lasting_run_directory("run");
        settle_file_system();
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        qm::net_result code = receive(*server, directory);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (code != qm::net_result::ok)
            return state.SkipWithError(("receive failed with code " + std::to_string(static_cast<int>(code))).c_str());
        if (count_downloads(directory) != large_count) return state.SkipWithError("not every message was fetched");
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(large_count), benchmark::Counter::kIsIterationInvariantRate);
    quillmere_rate = large_count * static_cast<double>(state.iterations()) / seconds;
}

// The message directories of an inbox (".0", ".1" ...).
std::size_t count_messages(const std::string& inbox) {
    std::size_t count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(inbox, ec)) {
        std::string name = entry.path().filename().string();
        count += name.size() > 1 && name[0] == '.' && name.find_first_not_of("0123456789", 1) == std::string::npos;
    }
    return count;
}

// A data directory with one account that keeps its mail on the server.
bool make_sync_home(const dovecot_server& server, const std::string& home) {
    std::error_code ec;
    fs::create_directories(home + "tmp", ec);
    const std::string mailbox = home + "mailbox/";
    fs::create_directories(mailbox, ec);
    qm::account_values values;
    values.address = "alice@example.com";
    values.pop_server = values.smtp_server = server.host();
    values.pop_port = std::to_string(server.pop3_port());
    values.smtp_port = "25";
    values.pop_id = server.user();
    values.pop_password = server.password();
    qm::scramble_password(values.pop_password);
    values.pop_remove = false;
    return qm::create_account(mailbox, "acct", values);
}

double sync_rate = 0;

void BM_Pop3SyncLarge_QuillmereCli(benchmark::State& state) {
    dovecot_server* server = large_server();
    if (!server->running()) return state.SkipWithError(server->failure().c_str());
    const std::string program = cli_program();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string home = lasting_run_directory("home");
        if (!make_sync_home(*server, home)) return state.SkipWithError("cannot make the account");
        const std::vector<std::string> environment = {"QUILLMERE_HOME=" + home, "TMPDIR=" + home + "tmp",
                                                      "XDG_RUNTIME_DIR=" + home + "tmp", "TZ=UTC0"};
        settle_file_system();
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        const int status = run_program({program, "sync", "acct"}, environment);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) return state.SkipWithError(("quillmere-cli sync failed, exit status " + std::to_string(status)).c_str());
        state.PauseTiming();
        // Nothing is deleted while the benchmark runs (see above).
        const std::size_t filed = count_messages(home + "mailbox/acct/ 受信箱/");
        state.ResumeTiming();
        if (filed != large_count) return state.SkipWithError("not every message was filed");
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(large_count), benchmark::Counter::kIsIterationInvariantRate);
    sync_rate = large_count * static_cast<double>(state.iterations()) / seconds;
}

void BM_Pop3ReceiveLarge_Fetchmail(benchmark::State& state) {
    dovecot_server* server = large_server();
    if (!server->running()) return state.SkipWithError(server->failure().c_str());
    scratch_directory work;
    const passwd* self = ::getpwuid(::geteuid());
    std::string local_user = self ? self->pw_name : "root";
    std::string output = work.path() + "mail.bsmtp";
    std::string rcfile = work.path() + "fetchmailrc";
    // Plain POP3 with USER and PASS like our client, keeping the mail on the
    // server, everything written into one file.
    {
        std::ofstream rc(rcfile);
        rc << "set no syslog\n"
           << "poll " << server->host() << " service " << server->pop3_port() << " protocol pop3 auth password\n"
           << "  user \"" << server->user() << "\" there with password \"" << server->password() << "\" is \""
           << local_user << "\" here\n"
           << "  options keep fetchall no rewrite sslproto ''\n"
           << "  bsmtp \"" << output << "\"\n";
    }
    fs::permissions(rcfile, fs::perms::owner_read | fs::perms::owner_write);
    std::string home = "FETCHMAILHOME=" + work.path();
    std::vector<std::string> arguments = {"fetchmail", "-f", rcfile, "-i", work.path() + "fetchids", "--nosyslog"};

    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove(output, ec);
        settle_file_system();
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        const int status = run_program(arguments, {home});
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0)
            return state.SkipWithError(
                ("fetchmail failed (is it installed?), exit status " + std::to_string(status)).c_str());
        state.PauseTiming();
        std::string delivered = read_file(output);
        std::size_t messages = 0;
        for (std::size_t pos = 0; (pos = delivered.find("\nDATA\r\n", pos)) != std::string::npos; ++pos) ++messages;
        state.ResumeTiming();
        if (messages != large_count) return state.SkipWithError("fetchmail did not deliver every message");
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(large_count), benchmark::Counter::kIsIterationInvariantRate);
    fetchmail_rate = large_count * static_cast<double>(state.iterations()) / seconds;
}

void BM_Pop3ReceiveTenNewOfTenThousandKept(benchmark::State& state) {
    dovecot_server server;
    if (!server.running()) return state.SkipWithError(server.failure().c_str());
    scratch_directory work;
    const std::string list = work.path() + "uid.lst";
    const std::string kept_list = work.path() + "kept.lst";
    for (int n = 0; n < kept_count; ++n) server.deliver(sample_message(n, 600));
    // The first receive learns the 10,000 ids.
    if (receive(server, work.path()) != qm::net_result::ok) return state.SkipWithError("the first receive failed");
    clear_downloads(work.path());
    fs::copy_file(list, kept_list);
    const double list_size = static_cast<double>(fs::file_size(list));
    for (int n = kept_count; n < kept_count + new_count; ++n) server.deliver(sample_message(n, 600));

    double list_reads = 0;
    for (auto _ : state) {
        state.PauseTiming();
        clear_downloads(work.path());
        fs::copy_file(kept_list, list, fs::copy_options::overwrite_existing);
        long long read_before = bytes_read_from_files();
        state.ResumeTiming();
        qm::net_result code = receive(server, work.path());
        state.PauseTiming();
        list_reads += static_cast<double>(bytes_read_from_files() - read_before) / list_size;
        state.ResumeTiming();
        if (code != qm::net_result::ok)
            return state.SkipWithError(("receive failed with code " + std::to_string(static_cast<int>(code))).c_str());
        if (count_downloads(work.path()) != new_count)
            return state.SkipWithError("not exactly the new messages were fetched");
    }
    state.counters["fetched"] = new_count;
    // File bytes read per receive in units of uid.lst: about 1 when the list
    // is read once, about 10,000 if it were read again for every message.
    state.counters["uid_list_reads"] = list_reads / static_cast<double>(state.iterations());
}

// A directory of its own on a disk file system, for what must reach the disk.
std::string disk_base() {
    const char* chosen = std::getenv("QUILLMERE_BENCH_DISK");
    return chosen && *chosen ? chosen : "/var/tmp";
}

// The server emptied by each receive with "POP remove", filled again before the next.
dovecot_server* removal_server() {
    static std::unique_ptr<dovecot_server> server = std::make_unique<dovecot_server>();
    return server.get();
}

bool refill(dovecot_server& server) {
    for (int n = static_cast<int>(server.message_count()); n < removed_count; ++n)
        server.deliver(sample_message(n, large_size));
    return server.message_count() == static_cast<std::size_t>(removed_count);
}

double removal_rate_memory = 0, removal_rate_disk = 0, removal_rate_fetchmail = 0;

void receive_and_remove(benchmark::State& state, const std::string& base, double& rate) {
    dovecot_server* server = removal_server();
    if (!server->running()) return state.SkipWithError(server->failure().c_str());
    scratch_directory made_in_tmpdir;
    std::string work = base.empty() ? made_in_tmpdir.path() : base;
    double seconds = 0;
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string directory = work + "remove" + std::to_string(run++) + "/";
        fs::create_directory(directory);
        bool filled = refill(*server);
        state.ResumeTiming();
        if (!filled) return state.SkipWithError("the server could not be filled");
        auto start = std::chrono::steady_clock::now();
        qm::net_result code = receive(*server, directory, true);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (code != qm::net_result::ok)
            return state.SkipWithError(("receive failed with code " + std::to_string(static_cast<int>(code))).c_str());
        if (count_downloads(directory) != removed_count || server->message_count() != 0)
            return state.SkipWithError("not every message was fetched and deleted");
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(removed_count), benchmark::Counter::kIsIterationInvariantRate);
    rate = removed_count * static_cast<double>(state.iterations()) / seconds;
}

void BM_Pop3ReceiveRemove_QuillmereMemory(benchmark::State& state) {
    receive_and_remove(state, "", removal_rate_memory);
}

void BM_Pop3ReceiveRemove_QuillmereDisk(benchmark::State& state) {
    std::string pattern = disk_base() + "/qmbench-XXXXXX";
    if (!::mkdtemp(pattern.data())) return state.SkipWithError(("cannot make a directory in " + disk_base()).c_str());
    receive_and_remove(state, pattern + "/", removal_rate_disk);
    std::error_code ec;
    fs::remove_all(pattern, ec);
}

void BM_Pop3ReceiveRemove_Fetchmail(benchmark::State& state) {
    dovecot_server* server = removal_server();
    if (!server->running()) return state.SkipWithError(server->failure().c_str());
    std::string pattern = disk_base() + "/qmbench-XXXXXX";
    if (!::mkdtemp(pattern.data())) return state.SkipWithError(("cannot make a directory in " + disk_base()).c_str());
    const std::string work = pattern + "/";
    const passwd* self = ::getpwuid(::geteuid());
    std::string local_user = self ? self->pw_name : "root";
    std::string output = work + "mail.bsmtp";
    std::string rcfile = work + "fetchmailrc";
    {
        std::ofstream rc(rcfile);
        rc << "set no syslog\n"
           << "poll " << server->host() << " service " << server->pop3_port() << " protocol pop3 auth password\n"
           << "  user \"" << server->user() << "\" there with password \"" << server->password() << "\" is \""
           << local_user << "\" here\n"
           << "  options no keep fetchall no rewrite sslproto ''\n"
           << "  bsmtp \"" << output << "\"\n";
    }
    fs::permissions(rcfile, fs::perms::owner_read | fs::perms::owner_write);
    std::string home = "FETCHMAILHOME=" + work;
    std::vector<std::string> arguments = {"fetchmail", "-f", rcfile, "-i", work + "fetchids", "--nosyslog"};
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove(output, ec);
        bool filled = refill(*server);
        state.ResumeTiming();
        if (!filled) return state.SkipWithError("the server could not be filled");
        auto start = std::chrono::steady_clock::now();
        const int status = run_program(arguments, {home});
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0 || server->message_count() != 0)
            return state.SkipWithError(("fetchmail failed, exit status " + std::to_string(status)).c_str());
    }
    std::error_code ec;
    fs::remove_all(pattern, ec);
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(removed_count), benchmark::Counter::kIsIterationInvariantRate);
    removal_rate_fetchmail = removed_count * static_cast<double>(state.iterations()) / seconds;
}

BENCHMARK(BM_Pop3ReceiveLarge_Quillmere)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Pop3SyncLarge_QuillmereCli)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Pop3ReceiveLarge_Fetchmail)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Pop3ReceiveTenNewOfTenThousandKept)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Pop3ReceiveRemove_QuillmereMemory)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Pop3ReceiveRemove_QuillmereDisk)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Pop3ReceiveRemove_Fetchmail)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // The server's maildir, the work directories and fetchmail's file live in
    // memory unless TMPDIR says otherwise: what is measured is the dialogue
    // and the writing of the messages, not how a disk file system finds free
    // inodes (one file per message for us, one file in all for fetchmail).
    prefer_memory_scratch();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (quillmere_rate > 0 && fetchmail_rate > 0)
        std::printf("POP3 receive of %d messages of %zu KB: quillmere %.0f messages/s, fetchmail %.0f messages/s "
                    "(%.2fx)\n",
                    large_count, large_size / 1024, quillmere_rate, fetchmail_rate, quillmere_rate / fetchmail_rate);
    if (sync_rate > 0 && fetchmail_rate > 0)
        std::printf("quillmere-cli sync (receive and filing) of %d messages of %zu KB: %.0f messages/s, %.2f times "
                    "fetchmail's time for the download alone\n",
                    large_count, large_size / 1024, sync_rate, fetchmail_rate / sync_rate);
    if (removal_rate_memory > 0 && removal_rate_disk > 0 && removal_rate_fetchmail > 0)
        std::printf("POP3 receive with removal of %d messages of %zu KB: quillmere %.0f messages/s with its work "
                    "directory in memory, %.0f on the disk (flushed before QUIT), fetchmail %.0f messages/s\n",
                    removed_count, large_size / 1024, removal_rate_memory, removal_rate_disk, removal_rate_fetchmail);
    return 0;
}
