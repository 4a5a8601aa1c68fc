#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "platform/file_handle.h"
#include "store/arrange_rules.h"

namespace {

using namespace qm::bench;

constexpr int inbox_messages = 10000;
constexpr int rule_folders = 20;
constexpr int rules_per_folder = 5;
constexpr int rule_count = rule_folders * rules_per_folder;
// Subjects run over more topics than there are rules: a third of the
// messages match no rule and are tried against all of them.
constexpr int topics = rule_count * 3 / 2;

std::string header_of(int message) {
    char subject[64];
    std::snprintf(subject, sizeof subject, "topic-%03d", message % topics);
    return received_header(message) + "From: sender" + std::to_string(message % 37) + "@example.com\r\n"
           "To: user@example.net\r\n"
           "Subject: " + subject + " weekly notes\r\n"
           "MIME-Version: 1.0\r\n"
           "X-Mailer: bench\r\n";
}

// An account root with 20 folders of 5 rules each and a full inbox.
bool build_tree(const std::string& root) {
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root + "inbox", ec);
    for (int folder = 0; folder < rule_folders; ++folder) {
        std::string path = root + "folder" + std::to_string(folder) + "/";
        fs::create_directories(path, ec);
        for (int rule = 0; rule < rules_per_folder; ++rule) {
            char keyword[16];
            std::snprintf(keyword, sizeof keyword, "topic-%03d", folder * rules_per_folder + rule);
            if (!qm::add_rule(path, rule % 2 ? "subject" : "Subject", keyword)) return false;
        }
    }
    for (int message = 0; message < inbox_messages; ++message) {
        std::string path = root + "inbox/." + std::to_string(message) + "/";
        fs::create_directory(path, ec);
        if (!qm::write_binary_file(path + "0", header_of(message)) ||
            !qm::write_binary_file(path + "1", "\r\nbody\r\n") ||
            !qm::write_binary_file(path + "status.ini", "[mail status]\r\ntype=!\r\n"))
            return false;
    }
    return true;
}

void BM_ArrangeInbox(benchmark::State& state) {
    scratch_directory dir;
    std::string root = dir.path() + "account/";
    silent_reporter report;
    for (auto _ : state) {
        state.PauseTiming();
        if (dir.path().empty() || !build_tree(root)) {
            state.SkipWithError("cannot build the mailbox");
            return;
        }
        state.ResumeTiming();
        qm::arrange_run(root + "inbox/", root, report);
    }
    state.SetItemsProcessed(state.iterations() * inbox_messages);
}
BENCHMARK(BM_ArrangeInbox)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
