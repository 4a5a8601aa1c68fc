// Filing downloads into an inbox:
//  - 2,000 downloads of four kinds;
//  - 1,000 downloads of 8 KB (plain Japanese text, and text with a small
//    attachment, in turn), in messages per second;
//  - the same 1,000 messages as one mbox, imported by `quillmere-cli import`
//    as a user runs it (copied into download files, then filed), beside
//    mblaze's mdeliver putting the same mbox into a maildir.
// Each batch of messages is flushed to the disk before it shows and its
// renames before the download files go: run it with TMPDIR on a disk file
// system to see what that costs, and on /dev/shm (where a flush costs
// nothing) to see the filing alone. For figures to quote:
//   bench_import --benchmark_filter=8K --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// (the contenders' repetitions then alternate, so that each meets the same
// machine; the summary at the end gives the median and range of each).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/file_handle.h"
#include "store/mailbox_layout.h"
#include "store/receive_filing.h"
#include "text/base64.h"
#include "text/sjis_jis.h"

namespace {

using namespace qm::bench;

// Every benchmark works in directories of its own inside one scratch
// directory for the whole program, removed at its end: nothing is deleted
// while anything is measured (a file system that has just freed thousands
// of inodes is slow to hand out new ones for minutes: ext4 without a
// journal steps over every inode freed in the last minute, longer while
// its inode table is not written out), also between the repetitions. Its
// removal slows the next run in the same way: leave a few minutes between
// runs.
scratch_directory* run_scratch = nullptr;

// A new directory for one run of a benchmark; "" when none could be made.
std::string fresh_directory(const std::string& prefix) {
    static int made = 0;
    if (!run_scratch || run_scratch->path().empty()) return "";
    const std::string path = run_scratch->path() + prefix + std::to_string(made++) + "/";
    std::error_code ec;
    return fs::create_directories(path, ec) ? path : "";
}

constexpr int download_count = 2000;
constexpr std::size_t attachment_size = 24 * 1024;
constexpr std::size_t base64_line_length = 76;
constexpr std::size_t qp_line_length = 73;

std::string jis(const std::string& utf8) {
    std::string output;
    qm::sjis_to_jis(output, utf8.size() * 4 + 16, cp932(utf8));
    return output;
}

// Quoted-printable with soft line breaks.
std::string quoted_printable(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded, line;
    for (unsigned char c : text) {
        std::string piece = c >= 0x80 || c == '=' ? std::string{'=', hex[c >> 4], hex[c & 15]} : std::string(1, c);
        if (line.size() + piece.size() > qp_line_length) {
            encoded += line + "=\r\n";
            line.clear();
        }
        line += piece;
    }
    return encoded + line + "\r\n";
}

std::string common_header(int number, const std::string& subject) {
    return received_header(number) + "From: =?ISO-2022-JP?B?" + qm::base64_encode_text(jis("山田太郎")) +
           "?= <yamada@example.com>\r\n"
           "To: user@example.net,\r\n other@example.net\r\n"
           "Subject: " + subject + "\r\n"
           "MIME-Version: 1.0\r\n";
}

// The four kinds of message, in turn: plain Japanese, multipart with an
// attachment, UTF-8 quoted-printable, HTML only.
std::vector<std::string> make_messages() {
    const std::string attachment = random_bytes(attachment_size, 7);
    const std::string body_jis = in_lines(jis(japanese_text), 200);
    const std::string subject = "=?ISO-2022-JP?B?" + qm::base64_encode_text(jis("定例会議の資料")) + "?=";
    std::vector<std::string> messages;
    for (int n = 0; n < download_count; ++n) {
        std::string m = common_header(n, subject);
        switch (n % 4) {
            case 0:
                m += "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
                for (int i = 0; i < 10; ++i) m += body_jis;
                break;
            case 1:
                m += "Content-Type: multipart/mixed; boundary=\"=_b\"\r\n\r\nThis is a multi-part message.\r\n"
                     "--=_b\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + body_jis +
                     "--=_b\r\nContent-Type: application/octet-stream\r\n"
                     "Content-Disposition: attachment;\r\n filename*=ISO-2022-JP''%1B%24B%3B%51%4E%41%1B%28B.pdf\r\n"
                     "Content-Transfer-Encoding: base64\r\n\r\n" +
                     in_lines(qm::base64_encode_text(attachment), base64_line_length) + "--=_b--\r\n";
                break;
            case 2:
                m += "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
                for (int i = 0; i < 5; ++i) m += quoted_printable(japanese_text);
                break;
            default:
                m += "Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                     "<html><body><p>" + std::string(japanese_text) + "</p></body></html>\r\n";
                break;
        }
        messages.push_back(std::move(m));
    }
    return messages;
}

bool prepare_run(const std::string& root, const std::vector<std::string>& messages) {
    std::error_code ec;
    if (root.empty()) return false;
    fs::create_directories(root + "work", ec);
    fs::create_directories(root + "account", ec);
    if (!qm::make_special_folders(root + "account/")) return false;
    for (std::size_t n = 0; n < messages.size(); ++n) {
        if (!qm::write_binary_file(root + "work/" + std::to_string(n) + ".pop", messages[n])) return false;
    }
    return true;
}

void BM_ImportDownloads(benchmark::State& state) {
    const std::vector<std::string> messages = make_messages();
    silent_reporter report;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string root = fresh_directory("downloads");
        if (!prepare_run(root, messages)) {
            state.SkipWithError("cannot prepare the download files");
            return;
        }
        state.ResumeTiming();
        if (qm::import_downloaded_messages(root + "work/", root + "account/", report) != download_count) {
            state.SkipWithError("a message was not filed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * download_count);
}
BENCHMARK(BM_ImportDownloads)->Unit(benchmark::kMillisecond)->Iterations(3);

constexpr int small_count = 1000;
constexpr std::size_t small_size = 8 * 1024;

// Message n of about 8 KB: plain Japanese text, or text with a small
// attachment.
std::string small_message(int n) {
    static const std::string subject = "=?ISO-2022-JP?B?" + qm::base64_encode_text(jis("定例会議の資料")) + "?=";
    static const std::string line = jis(japanese_text) + "\r\n";
    static const std::string attachment =
        "--=_b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"a.bin\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        in_lines(qm::base64_encode_text(random_bytes(3000, 11)), base64_line_length) + "--=_b--\r\n";
    std::string m = common_header(n, subject);
    std::string tail;
    if (n % 2 == 0) {
        m += "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
    } else {
        m += "Content-Type: multipart/mixed; boundary=\"=_b\"\r\n\r\n--=_b\r\n"
             "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n";
        tail = attachment;
    }
    while (m.size() + line.size() + tail.size() < small_size) m += line;
    return m + tail;
}

std::vector<std::string> make_small_messages() {
    std::vector<std::string> messages;
    for (int n = 0; n < small_count; ++n) messages.push_back(small_message(n));
    return messages;
}

// The messages as an mbox with LF line ends, as mail programs export them.
std::string as_mbox(const std::vector<std::string>& messages) {
    std::string mbox;
    for (const std::string& message : messages) {
        mbox += "From sender@example.com Mon Jan  1 09:00:00 2024\n";
        for (std::size_t pos = 0; pos < message.size();) {
            std::size_t end = message.find("\r\n", pos);
            std::string_view line(message.data() + pos, (end == std::string::npos ? message.size() : end) - pos);
            if (line.starts_with("From ") || line.starts_with(">From ")) mbox += '>';
            mbox.append(line).append("\n");
            pos = end == std::string::npos ? message.size() : end + 2;
        }
        mbox += "\n";
    }
    return mbox;
}

// The rate of each repetition, for the summary at the end.
std::vector<double> filing_rates, import_rates, mdeliver_rates;

void set_rate(benchmark::State& state, int count, double seconds, std::vector<double>& rates) {
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    rates.push_back(count * static_cast<double>(state.iterations()) / seconds);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// "median 1234 messages/s (5 runs: 1100-1300)"
void print_rates(const char* what, const std::vector<double>& rates) {
    if (rates.empty()) return;
    std::printf("%s: median %.0f messages/s (%zu runs: %.0f-%.0f)\n", what, median(rates), rates.size(),
                *std::min_element(rates.begin(), rates.end()), *std::max_element(rates.begin(), rates.end()));
}

// Run it a few minutes after anything large was deleted (see fresh_directory).
void BM_FileDownloads8K(benchmark::State& state) {
    const std::vector<std::string> messages = make_small_messages();
    silent_reporter report;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string root = fresh_directory("filing");
        if (!prepare_run(root, messages)) return state.SkipWithError("cannot prepare the downloads");
        ::sync();
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        int filed = qm::import_downloaded_messages(root + "work/", root + "account/", report);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (filed != small_count) return state.SkipWithError("a message was not filed");
    }
    set_rate(state, small_count, seconds, filing_rates);
}
BENCHMARK(BM_FileDownloads8K)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The mbox both importers read.
const std::string& small_mbox() {
    static const std::string path = [] {
        const std::string directory = fresh_directory("mbox");
        if (directory.empty()) return std::string();
        write_file(directory + "mail.mbox", as_mbox(make_small_messages()));
        return directory + "mail.mbox";
    }();
    return path;
}

void BM_ImportMbox8K_QuillmereCli(benchmark::State& state) {
    const std::string& mbox = small_mbox();
    const std::string program = cli_program();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string home = fresh_directory("home");
        if (mbox.empty() || home.empty()) return state.SkipWithError("cannot prepare the mbox");
        std::error_code ec;
        fs::create_directories(home + "tmp", ec);
        const std::vector<std::string> environment = {"QUILLMERE_HOME=" + home, "TMPDIR=" + home + "tmp",
                                                      "XDG_RUNTIME_DIR=" + home + "tmp"};
        ::sync();
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        const int status = run_program({program, "import", "acct", "--mbox", mbox}, environment);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        std::size_t filed = 0;
        for (const auto& entry : fs::directory_iterator(home + "mailbox/acct/ 受信箱/", ec))
            filed += entry.path().filename().string().starts_with(".");
        state.ResumeTiming();
        if (status != 0 || filed != small_count) return state.SkipWithError("quillmere-cli import failed");
    }
    set_rate(state, small_count, seconds, import_rates);
}
BENCHMARK(BM_ImportMbox8K_QuillmereCli)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// mblaze's mdeliver: the same mbox into a maildir, each message written and
// flushed to the disk on its own before it takes its name.
void BM_ImportMbox8K_Mdeliver(benchmark::State& state) {
    const std::string& mbox = small_mbox();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string maildir = fresh_directory("maildir");
        if (mbox.empty() || maildir.empty()) return state.SkipWithError("cannot prepare the mbox");
        std::error_code ec;
        for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(maildir + sub, ec);
        ::sync();
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        const int status = run_program({"mdeliver", "-M", maildir}, {}, mbox);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        std::size_t delivered = 0;
        for (const auto& entry : fs::directory_iterator(maildir + "new", ec)) delivered += entry.is_regular_file();
        state.ResumeTiming();
        if (status != 0 || delivered != small_count)
            return state.SkipWithError("mdeliver failed (is mblaze installed?)");
    }
    set_rate(state, small_count, seconds, mdeliver_rates);
}
BENCHMARK(BM_ImportMbox8K_Mdeliver)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    const char* chosen = std::getenv("TMPDIR");
    std::printf("Scratch directory: %s (set TMPDIR to choose another)\n", chosen && *chosen ? chosen : "/tmp");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    {
        scratch_directory scratch("qmbench-import");
        run_scratch = &scratch;
        benchmark::RunSpecifiedBenchmarks();
        run_scratch = nullptr;
    }
    benchmark::Shutdown();
    std::printf("%d messages of %zu KB each:\n", small_count, small_size / 1024);
    print_rates("  filing the downloads (import_downloaded_messages)", filing_rates);
    print_rates("  quillmere-cli import --mbox", import_rates);
    print_rates("  mdeliver -M, same run", mdeliver_rates);
    if (!import_rates.empty() && !mdeliver_rates.empty())
        std::printf("  quillmere-cli import time / mdeliver time (medians): %.2f\n",
                    median(mdeliver_rates) / median(import_rates));
    return 0;
}
