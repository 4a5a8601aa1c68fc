// The mail list of a large folder: rebuilding and sorting it in the core,
// and listing it from a shell with quillmere-cli beside mblaze's mscan over
// the same mails kept as a maildir.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/program_context.h"
#include "store/mail_list.h"
#include "text/base64.h"
#include "text/utf8_sjis.h"

namespace {

using namespace qm::bench;

constexpr int small_folder = 10000;
constexpr int large_folder = 100000;
// One thread in this many messages; every message of a thread but the
// first replies to the one before.
constexpr int thread_length = 5;
// Lines of Japanese text in each body: with the header, about 4 KB a message
// on average (a quarter of them carry a 4 KB attachment as well).
constexpr int text_lines = 24;
// One message in this many holds the search text, in its body.
constexpr int search_hit_every = 10;
constexpr const char* search_utf8 = "議事録";

// In the folder "as sent" every subject starts with this, which CP932 lacks:
// the store has "？" in its place and the list reads it from the raw copy.
constexpr const char* emoji = "🎉 ";

// What the mails of both stores have in common (UTF-8).
struct mail {
    std::string message_id, references, in_reply_to, from_name, from_address, subject, date, body;
    bool attachment = false;
};

mail make_mail(int n, bool beyond_cp932 = false) {
    mail m;
    int root = n - n % thread_length;
    m.message_id = "<" + std::to_string(n) + "@example.jp>";
    if (n != root) {
        m.references = "<" + std::to_string(root) + "@example.jp> <" + std::to_string(n - 1) + "@example.jp>";
        m.in_reply_to = "<" + std::to_string(n - 1) + "@example.jp>";
    }
    m.from_name = n % 3 == 0 ? "山田太郎" : n % 3 == 1 ? "佐藤花子" : "鈴木一郎";
    m.from_address = "user" + std::to_string(n % 97) + "@example.jp";
    m.subject = (n == root ? "" : "Re: ") + std::string(beyond_cp932 ? emoji : "") + "定例会議 第" +
                std::to_string(root / thread_length) + "回";
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    m.date = std::to_string(1 + n % 28) + " " + months[(n / 28) % 12] + " " + std::to_string(2000 + (n / 336) % 25) +
             " " + std::to_string(n % 24) + ":" + std::to_string(10 + n % 50) + ":00 +0900";
    for (int i = 0; i < text_lines; ++i) m.body += std::string(japanese_text) + "\n";
    if (n % search_hit_every == 0) m.body += std::string(search_utf8) + "を添付します。\n";
    m.attachment = n % 4 == 1;
    return m;
}

const std::string attachment_part = [] {
    std::string part = "Content-Type: application/octet-stream; name=\"data.bin\"\n"
                       "Content-Disposition: attachment; filename=\"data.bin\"\n\n";
    for (int i = 0; i < 64; ++i) part += std::string(64, static_cast<char>('a' + i % 26)) + "\n";
    return part;
}();

// A message directory as the store keeps a received message.
void write_store_message(const std::string& dir, const mail& m) {
    fs::create_directory(dir);
    std::string header = "Message-ID: " + m.message_id + "\n";
    if (!m.references.empty()) header += "References: " + m.references + "\nIn-Reply-To: " + m.in_reply_to + "\n";
    header += "Date: " + m.date + "\nFrom: " + m.from_name + " <" + m.from_address + ">\nTo: me@example.net\n"
              "Subject: " + m.subject + "\nMIME-Version: 1.0\n";
    write_file(dir + "0", crlf(qm::utf8_to_sjis_copy(header)));
    write_file(dir + "1", crlf(cp932("\n" + m.body)));
    if (m.attachment) write_file(dir + "2", crlf(attachment_part));
    write_file(dir + "status.ini", crlf(std::string("[mail status]\ntype=R\nattachment=") +
                                        (m.attachment ? "+" : "-") + "\nreplied=-\nforwarded=-\n"));
}

std::string encoded_word(const std::string& utf8) { return "=?UTF-8?B?" + qm::base64_encode_text(utf8) + "?="; }

// The same mail as it came from the server, for the maildir (and as the
// store's "raw" copy).
std::string raw_message(const mail& m) {
    std::string text = "Message-ID: " + m.message_id + "\n";
    if (!m.references.empty()) text += "References: " + m.references + "\nIn-Reply-To: " + m.in_reply_to + "\n";
    text += "Date: " + m.date + "\nFrom: " + encoded_word(m.from_name) + " <" + m.from_address + ">\n"
            "To: me@example.net\nSubject: " + encoded_word(m.subject) + "\nMIME-Version: 1.0\n";
    if (!m.attachment) return crlf(text + "Content-Type: text/plain; charset=UTF-8\n\n" + m.body);
    return crlf(text + "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
                "Content-Type: text/plain; charset=UTF-8\n\n" + m.body + "--b\n" + attachment_part + "--b--\n");
}

// A scratch directory with the program's data directory (mailbox, account
// "A", one folder per size) and a maildir per size; removed at the end.
class bench_store {
public:
    bench_store() {
        if (!ready()) return;
        fs::create_directories(root_ + "home/mailbox/A");
        fs::create_directories(root_ + "tmp");
        // mblaze wants its sequence file.
        fs::create_directories(root_ + "mblaze");
        write_file(root_ + "mblaze/seq", "");
        qm::set_context({cp932(root_ + "home/"), cp932(root_ + "tmp/"), cp932(root_ + "tmp/quillmere.$$$/"),
                         cp932(root_ + "home/")});
    }
    bool ready() const { return !root_.empty(); }
    const std::string& root() const { return root_; }
    std::string folder_name(int count) const { return "A/folder" + std::to_string(count); }
    std::string as_sent_folder_name(int count) const { return "A/as-sent" + std::to_string(count); }
    std::string folder(int count) const { return root_ + "home/mailbox/" + folder_name(count) + "/"; }
    std::string account() const { return root_ + "home/mailbox/A/"; }
    std::string maildir(int count) const { return root_ + "maildir" + std::to_string(count); }

    // Writes the folder and the maildir of this size the first time.
    void prepare(int count) {
        if (prepared_[count]) return;
        prepared_[count] = true;
        fs::create_directories(folder(count));
        fs::create_directories(maildir(count) + "/cur");
        fs::create_directories(maildir(count) + "/new");
        fs::create_directories(maildir(count) + "/tmp");
        for (int n = 0; n < count; ++n) {
            mail m = make_mail(n);
            write_store_message(folder(count) + "." + std::to_string(n) + "/", m);
            write_file(maildir(count) + "/cur/" + std::to_string(1700000000 + n) + ".M" + std::to_string(n) +
                           ".bench:2,S",
                       raw_message(m));
        }
    }

    // A folder of the same mails whose subjects CP932 cannot hold whole,
    // each with its raw copy, as a receive files them.
    void prepare_as_sent(int count) {
        if (prepared_as_sent_[count]) return;
        prepared_as_sent_[count] = true;
        const std::string folder = root_ + "home/mailbox/" + as_sent_folder_name(count) + "/";
        fs::create_directories(folder);
        for (int n = 0; n < count; ++n) {
            mail m = make_mail(n, true);
            const std::string dir = folder + "." + std::to_string(n) + "/";
            write_store_message(dir, m);
            write_file(dir + "raw", raw_message(m));
        }
    }

private:
    scratch_directory scratch_{"qmbench-list"};
    const std::string root_ = scratch_.path();
    std::map<int, bool> prepared_, prepared_as_sent_;
};

bench_store& store() {
    static bench_store instance;
    return instance;
}

std::string program_directory() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : self.parent_path().string() + "/";
}

// Arguments: folder size, sort column, with a search text (1) or without (0).
void BM_RebuildAndSort(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    bench_store& s = store();
    if (!s.ready()) return state.SkipWithError("no scratch directory");
    s.prepare(count);
    const std::string folder = cp932(s.folder(count)), account = cp932(s.account());
    const std::string search = state.range(2) ? cp932(search_utf8) : std::string();
    const qm::sort_state order{static_cast<int>(state.range(1)), false};
    std::size_t marked = 0;
    for (auto _ : state) {
        std::vector<qm::mail_row> rows = qm::build_mail_list(folder, account, search);
        qm::sort_mail_list(rows, order);
        if (rows.size() != static_cast<std::size_t>(count) + 1) return state.SkipWithError("rows are missing");
        marked = 0;
        for (const qm::mail_row& row : rows) marked += row.text[qm::column_attribute].find('*') != std::string::npos;
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["marked"] = static_cast<double>(marked);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_RebuildAndSort)
    ->ArgNames({"messages", "column", "search"})
    ->ArgsProduct({{small_folder, large_folder}, {qm::column_date, qm::column_thread}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The sort alone, on rows built once.
void BM_SortOnly(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    bench_store& s = store();
    if (!s.ready()) return state.SkipWithError("no scratch directory");
    s.prepare(count);
    const std::vector<qm::mail_row> built = qm::build_mail_list(cp932(s.folder(count)), cp932(s.account()), "");
    const qm::sort_state order{static_cast<int>(state.range(1)), false};
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<qm::mail_row> rows = built;
        state.ResumeTiming();
        qm::sort_mail_list(rows, order);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SortOnly)
    ->ArgNames({"messages", "column"})
    ->ArgsProduct({{small_folder, large_folder}, {qm::column_date, qm::column_thread}})
    ->Unit(benchmark::kMillisecond);

// quillmere-cli list, a process of its own, sorted by date.
// `quillmere-cli list` of one folder, sorted by date, as a user runs it.
void list_folder(benchmark::State& state, const std::string& folder_name) {
    bench_store& s = store();
    const std::vector<std::string> command = {program_directory() + "quillmere-cli", "list", folder_name, "--sort", "1"};
    const std::vector<std::string> environment = {"QUILLMERE_HOME=" + s.root() + "home/", "TMPDIR=" + s.root() + "tmp/"};
    for (auto _ : state) {
        if (run_program(command, environment, "", "", true) != 0)
            return state.SkipWithError("quillmere-cli list failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_QuillmereCliList(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    bench_store& s = store();
    if (!s.ready()) return state.SkipWithError("no scratch directory");
    s.prepare(count);
    list_folder(state, s.folder_name(count));
}
BENCHMARK(BM_QuillmereCliList)->ArgName("messages")->Arg(small_folder)->Arg(large_folder)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same listing of a folder whose every subject holds a character CP932
// lacks: what reading them as sent costs.
void BM_QuillmereCliListAsSent(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    bench_store& s = store();
    if (!s.ready()) return state.SkipWithError("no scratch directory");
    s.prepare_as_sent(count);
    list_folder(state, s.as_sent_folder_name(count));
}
BENCHMARK(BM_QuillmereCliListAsSent)->ArgName("messages")->Arg(small_folder)->Unit(benchmark::kMillisecond)->UseRealTime();

// mblaze over the same mails: mscan alone (in directory order), the
// pipelines that list them sorted by date (1) and by thread (2), and mlist
// feeding mscan (3), the plain listing of a maildir.
void BM_Mscan(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    bench_store& s = store();
    if (!s.ready()) return state.SkipWithError("no scratch directory");
    s.prepare(count);
    const std::vector<std::string> environment = {"MBLAZE=" + s.root() + "mblaze", "MBLAZE_PAGER=cat",
                                                  "COLUMNS=120"};
    // Debian installs mblaze's msort as mblaze-sort.
    const char* const pipelines[] = {"mscan \"$1\"", "mlist \"$1\" | mblaze-sort -d | mscan",
                                     "mlist \"$1\" | mthread | mscan", "mlist \"$1\" | mscan"};
    const std::vector<std::string> command = {"bash", "-c", std::string("set -o pipefail; ") + pipelines[state.range(1)],
                                              "bench", s.maildir(count)};
    for (auto _ : state) {
        if (run_program(command, environment, "", "", true) != 0)
            return state.SkipWithError("mscan failed (is mblaze installed?)");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_Mscan)
    ->ArgNames({"messages", "order"})
    ->ArgsProduct({{small_folder, large_folder}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
