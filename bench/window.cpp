// The real main window on Qt's offscreen platform over a large folder: a
// switch to it (F1, a mark), a sort by a column title and a refresh, each
// timed until the rows are in the list, beside `quillmere-cli list` of the
// same folder as a process in the same run; and what a listed folder of
// 100,000 messages costs in memory above the window's size with an empty
// folder shown.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <clocale>
#include <memory>
#include <set>

#include "app/listview_mail.h"
#include "app/memory_use.h"
#include "app/treeview_tree.h"
#include "app/window_.h"
#include "bench_support.h"
#include "config/account_settings.h"
#include "config/layout.h"
#include "config/settings.h"
#include "navigator/command_ids.h"
#include "platform/program_context.h"
#include "store/accounts.h"

namespace {

using namespace qm::bench;

constexpr int small_folder = 10000;
constexpr int large_folder = 100000;
constexpr int thread_length = 5;

// A received message as the store keeps it: the header, a text of about
// 2 KB and the status; threads of five, Japanese names and subjects.
void write_message(const std::string& dir, int n) {
    fs::create_directory(dir);
    const int root = n - n % thread_length;
    std::string header = "Message-ID: <" + std::to_string(n) + "@example.jp>\n";
    if (n != root)
        header += "References: <" + std::to_string(root) + "@example.jp>\nIn-Reply-To: <" + std::to_string(n - 1) +
                  "@example.jp>\n";
    header += "Date: " + std::to_string(1 + n % 28) + " Mar " + std::to_string(2000 + n / 4000) + " " +
              std::to_string(n % 24) + ":" + std::to_string(10 + n % 50) + ":00 +0900\n";
    header += std::string("From: ") + (n % 2 ? "山田太郎" : "佐藤花子") + " <user" + std::to_string(n % 97) +
              "@example.jp>\nTo: me@example.net\nSubject: " + (n == root ? "" : "Re: ") + "定例会議 第" +
              std::to_string(root / thread_length) + "回\n";
    write_file(dir + "0", crlf(cp932(header)));
    std::string body = "\n";
    for (int line = 0; line < 12; ++line) body += std::string(japanese_text) + "\n";
    write_file(dir + "1", crlf(cp932(body)));
    write_file(dir + "status.ini", crlf("[mail status]\ntype=R\nattachment=-\nreplied=-\nforwarded=-\n"));
}

long resident_bytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

// The data directory (account "A" with an empty folder and one folder per
// size, marks F1 ... on the sizes' folders, F12 on the empty one) and the
// window over it, shown with the empty folder.
class bench_window {
public:
    bench_window() {
        if (scratch_.path().empty()) return;
        // $QUILLMERE_BENCH_DATA keeps the data directory for the next run:
        // writing the large folder takes minutes.
        const char* kept = std::getenv("QUILLMERE_BENCH_DATA");
        home_ = kept && *kept ? std::string(kept) + "/" : scratch_.path() + "home/";
        reuse_ = kept && *kept && fs::exists(home_ + "mailbox/A/empty");
        fs::create_directories(home_ + "mailbox");
        fs::create_directories(home_ + "work");
        qm::set_context({cp932(home_), cp932(scratch_.path()), cp932(home_ + "work/"), cp932(home_)});
        qm::settings() = qm::Settings{};
        qm::write_default_settings();
        qm::load_view_settings(qm::settings());
        qm::load_function_settings(qm::settings());
        qm::settings().mailbox = cp932(home_ + "mailbox/");
        qm::account_values account;
        account.address = "me@example.net";
        account.pop_server = account.smtp_server = "mail.example.net";
        account.pop_id = "me";
        qm::create_account(qm::settings().mailbox, "A", account);
        fs::create_directories(home_ + "mailbox/A/empty");
        layout_.current = "A/empty/";
        layout_.marks[0] = folder_name(small_folder);
        layout_.marks[1] = folder_name(large_folder);
        layout_.marks[empty_mark] = "A/empty/";
        window_ = std::make_unique<qm::window_>(qm::settings(), layout_);
        window_->resize(1000, 700);
        window_->show();
        window_->start();
        wait_for_rows();
        empty_resident_ = resident_bytes();
    }

    bool ready() const { return window_ != nullptr; }
    qm::window_& window() { return *window_; }
    std::string folder_name(int count) const { return "A/folder" + std::to_string(count) + "/"; }
    int mark_of(int count) const { return count == small_folder ? 0 : 1; }
    long empty_resident() const { return empty_resident_; }
    const std::string& home() const { return home_; }

    void prepare(int count) {
        if (!prepared_.insert(count).second) return;
        const std::string folder = home_ + "mailbox/" + folder_name(count);
        if (reuse_ && fs::exists(folder + "." + std::to_string(count - 1))) return;
        fs::create_directories(folder);
        for (int n = 0; n < count; ++n) write_message(folder + "." + std::to_string(n) + "/", n);
    }
    int rows() { return window_->mail_list()->rows_model().rowCount(); }

    // The key as the mail list takes it, then the events until the rows are in.
    void press(int key) { QTest::keyClick(window_->mail_list(), static_cast<Qt::Key>(key)); }
    void wait_for_rows() {
        while (window_->reading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    void show_empty() {
        if (window_->folder() != qm::settings().mailbox + "A/empty/") press(Qt::Key_F1 + empty_mark);
        wait_for_rows();
    }

    static constexpr int empty_mark = 11;

private:
    scratch_directory scratch_{"qmbench-window"};
    std::string home_;
    qm::Layout layout_;
    std::unique_ptr<qm::window_> window_;
    std::set<int> prepared_;
    bool reuse_ = false;
    long empty_resident_ = 0;
};

bench_window* shown = nullptr;

// First, before the other benchmarks leave memory behind: the resident
// memory with the large folder listed, above the window's with the empty
// folder shown at the start (MB); after the first listing and after the
// third (what repeated switches leave).
void BM_WindowMemory(benchmark::State& state) {
    if (!shown->ready()) return state.SkipWithError("no window");
    shown->prepare(large_folder);
    double first = 0, third = 0;
    for (auto _ : state) {
        for (int round = 1; round <= 3; ++round) {
            shown->show_empty();
            shown->press(Qt::Key_F1 + shown->mark_of(large_folder));
            shown->wait_for_rows();
            QCoreApplication::processEvents();  // the rows drawn
            const double above = static_cast<double>(resident_bytes() - shown->empty_resident()) / 1e6;
            (round == 1 ? first : third) = above;
        }
    }
    state.counters["MB_above_empty_first"] = first;
    state.counters["MB_above_empty_third"] = third;
}
BENCHMARK(BM_WindowMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// F1 (F2 for the large folder) from the empty folder, until the rows are in.
void BM_WindowSwitch(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    if (!shown->ready()) return state.SkipWithError("no window");
    shown->prepare(count);
    for (auto _ : state) {
        state.PauseTiming();
        shown->show_empty();
        state.ResumeTiming();
        shown->press(Qt::Key_F1 + shown->mark_of(count));
        shown->wait_for_rows();
    }
    if (shown->rows() != count + 1) state.SkipWithError("rows are missing");
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_WindowSwitch)->ArgName("messages")->Arg(small_folder)->Arg(large_folder)->Unit(benchmark::kMillisecond)->UseRealTime();

// The window showing the folder of `count` messages, its rows read; false
// (the benchmark told why) when there is no window.
bool show_folder(benchmark::State& state, int count) {
    if (!shown->ready()) {
        state.SkipWithError("no window");
        return false;
    }
    shown->prepare(count);
    shown->show_empty();
    shown->press(Qt::Key_F1 + shown->mark_of(count));
    shown->wait_for_rows();
    return true;
}

// A click on the date column's title (each one turns the order round).
void BM_WindowSort(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    if (!show_folder(state, count)) return;
    for (auto _ : state) {
        emit shown->window().mail_list()->header()->sectionClicked(qm::column_date);
        shown->wait_for_rows();
    }
    if (shown->rows() != count + 1) state.SkipWithError("rows are missing");
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_WindowSort)->ArgName("messages")->Arg(small_folder)->Unit(benchmark::kMillisecond)->UseRealTime();

// The folder shown read afresh in place, as after a command that changed
// it (0; the folder chosen again in the tree), and everything refreshed (1),
// as after an option dialog: the accounts, the folder tree (which looks at
// every folder of the account, the large ones too) and the menus made again
// beside it.
void BM_WindowRefresh(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    if (!show_folder(state, count)) return;
    for (auto _ : state) {
        if (state.range(1) == 0) emit shown->window().folder_tree()->folder_chosen(shown->window().folder());
        else shown->window().on_command(qm::cmd::refresh_all);
        shown->wait_for_rows();
    }
    if (shown->rows() != count + 1) state.SkipWithError("rows are missing");
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_WindowRefresh)
    ->ArgNames({"messages", "everything"})
    ->ArgsProduct({{small_folder}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// `quillmere-cli list` of the same folder, sorted by date as the window sorts it.
void BM_ShellList(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    if (!shown->ready()) return state.SkipWithError("no window");
    shown->prepare(count);
    const std::vector<std::string> command = {cli_program(), "list", shown->folder_name(count), "--sort", "1"};
    const std::vector<std::string> environment = {"QUILLMERE_HOME=" + shown->home()};
    for (auto _ : state) {
        if (run_program(command, environment, "", "", true) != 0) return state.SkipWithError("quillmere-cli list failed");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ShellList)->ArgName("messages")->Arg(small_folder)->Arg(large_folder)->Unit(benchmark::kMillisecond)->UseRealTime();


}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qm::give_back_freed_memory();  // as the program does
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench_window window;
    shown = &window;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    shown = nullptr;
    return 0;
}
