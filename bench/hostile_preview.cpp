// What the window's preview and `quillmere-cli show` make of four hostile
// messages once filed: a text of one 5 MB line, 5,000 attachments,
// multiparts nested 10,000 deep and a subject folded over 100,000 lines.
// The preview cuts each to its limits, with a mark, in short lines;
// `show` gives everything.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/file_handle.h"
#include "store/mail_reading.h"
#include "store/mailbox_layout.h"
#include "store/receive_filing.h"

namespace {

using namespace qm::bench;

std::vector<std::string> hostile_messages() {
    const std::string head = received_header(1) + "From: sender@example.com\r\nMIME-Version: 1.0\r\n";
    std::string line, attachments, nested, folded = "Subject: folded";
    while (line.size() < 5 * 1024 * 1024) line += "hostile line ";
    for (int i = 0; i < 5000; ++i)
        attachments += "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"f" +
                       std::to_string(i) + ".bin\"\r\n\r\nx\r\n";
    for (int level = 0; level < 10000; ++level)
        nested += "Content-Type: multipart/mixed; boundary=\"n" + std::to_string(level) + "\"\r\n\r\n--n" +
                  std::to_string(level) + "\r\n";
    nested += "Content-Type: text/plain\r\n\r\ninnermost\r\n";
    for (int level = 9999; level >= 0; --level) nested += "--n" + std::to_string(level) + "--\r\n";
    for (int i = 0; i < 100000; ++i) folded += "\r\n w" + std::to_string(i);
    return {head + "Subject: line\r\nContent-Type: text/plain\r\n\r\n" + line + "\r\n",
            head + "Subject: attachments\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\ntext\r\n" +
                attachments + "--b--\r\n",
            head + "Subject: nesting\r\n" + nested, head + folded + "\r\n\r\ntext\r\n"};
}

// The four messages filed into an inbox, as messages 0 to 3.
struct filed_messages {
    scratch_directory dir;
    std::string inbox;

    filed_messages() {
        if (dir.path().empty() || !qm::make_special_folders(dir.path())) return;
        fs::create_directories(dir.path() + "work");
        silent_reporter report;
        for (const std::string& message : hostile_messages()) {
            if (!qm::write_binary_file(dir.path() + "work/0.pop", message) ||
                qm::import_downloaded_messages(dir.path() + "work/", dir.path(), report) != 1)
                return;
        }
        inbox = dir.path() + cp932(" 受信箱/");
    }
};

filed_messages& filed() {
    static filed_messages messages;
    return messages;
}

template <std::string (*make)(std::string_view)>
void BM_Reading(benchmark::State& state) {
    if (filed().inbox.empty()) return state.SkipWithError("cannot file the messages");
    const std::string message_dir = filed().inbox + "." + std::to_string(state.range(0)) + "/";
    std::size_t size = 0;
    for (auto _ : state) size = make(message_dir).size();
    state.SetLabel(std::to_string(size) + " bytes");
}
BENCHMARK(BM_Reading<qm::preview_document>)->Name("BM_Preview")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reading<qm::reading_document>)->Name("BM_Show")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
