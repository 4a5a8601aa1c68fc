// Filing a received message of several MB built to be slow: headers folded
// over tens of thousands of lines (an address field with a quote left open,
// a subject of thousands of encoded words), a line of word fragments, a
// file name in thousands of RFC 2231 sections, multiparts nested past the
// depth limit and a large attachment. Beside it Python's email package
// reads the same message (its subject, every leaf, file names and bytes)
// in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "message/message_lines.h"
#include "message/mime_reader.h"
#include "platform/file_handle.h"
#include "text/base64.h"

namespace {

using namespace qm::bench;

constexpr int address_fold_lines = 64000;    // about 640 KB of one To field
constexpr int subject_words = 20000;
constexpr int word_fragments = 200000;
constexpr int name_sections = 20000;
constexpr int nesting = 40;
constexpr std::size_t attachment_size = 2 * 1024 * 1024;
constexpr std::size_t base64_line_length = 76;

std::string hostile_message() {
    std::string m = received_header(1) + "From: sender@example.com\r\nTo: \"open";
    for (int i = 0; i < address_fold_lines; ++i) m += ",\r\n x" + std::to_string(i % 100) + "@y";
    m += "\r\nSubject: start";
    for (int i = 0; i < subject_words; ++i) m += "\r\n =?UTF-8?B?5pel5pys?=";
    m += "\r\nX-Fragments: ";
    for (int i = 0; i < word_fragments; ++i) m += i % 2 ? "=?" : "?B?";
    m += "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"level0\"\r\n\r\n";

    std::string closing;
    for (int level = 0; level < nesting; ++level) {
        std::string b = "level" + std::to_string(level);
        if (level > 0) m += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n";
        m += "--" + b + "\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n" + std::string(japanese_text) + "\r\n--" + b +
             "\r\n";
        closing = "--" + b + "--\r\n" + closing;
    }
    m += "\r\ninnermost\r\n" + closing.substr(0, closing.find("\r\n") + 2);
    m += "--level0\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment;\r\n filename*0*=UTF-8''%E6%97%A5";
    for (int i = 1; i < name_sections; ++i) m += "; filename*" + std::to_string(i) + "*=%E6%9C%AC";
    m += "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
         in_lines(qm::base64_encode_text(random_bytes(attachment_size, 5)), base64_line_length) + closing;
    return m;
}

struct message_file {
    scratch_directory dir;
    std::string path;  // the message as downloaded
    std::size_t size = 0;

    message_file() {
        if (dir.path().empty()) return;
        std::string m = hostile_message();
        size = m.size();
        path = dir.path() + "hostile.eml";
        if (!qm::write_binary_file(path, m)) path.clear();
    }
};

message_file& sample() {
    static message_file file;
    return file;
}

// Reading the download file, unfolding its header and splitting it into
// the files of a message directory, as filing does before it writes them.
void BM_FileHostileMessage(benchmark::State& state) {
    message_file& m = sample();
    if (m.path.empty()) return state.SkipWithError("cannot write the message");
    for (auto _ : state) {
        std::string text;
        if (!qm::read_message_text(m.path, text)) return state.SkipWithError("the message cannot be read");
        qm::unfold_header_text(text);
        if (qm::split_message_text(text).last_part < 1) return state.SkipWithError("the message was not split");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.size));
}
BENCHMARK(BM_FileHostileMessage)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr const char* python_reader = R"(import sys, email, email.policy
with open(sys.argv[1], "rb") as f:
    m = email.message_from_binary_file(f, policy=email.policy.default)
str(m["subject"]); str(m["to"])
for part in m.walk():
    if not part.is_multipart():
        part.get_filename(); part.get_payload(decode=True)
)";

void BM_PythonEmailReadsHostileMessage(benchmark::State& state) {
    message_file& m = sample();
    if (m.path.empty()) return state.SkipWithError("cannot write the message");
    for (auto _ : state) {
        if (run_program({"python3", "-c", python_reader, m.path}, {}, "", "", true) != 0)
            return state.SkipWithError("python3 failed (is it installed?)");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.size));
}
BENCHMARK(BM_PythonEmailReadsHostileMessage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
