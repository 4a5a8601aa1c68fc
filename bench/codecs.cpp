#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_support.h"
#include "message/mime_reader.h"
#include "platform/file_handle.h"
#include "text/base64.h"
#include "text/encoded_words.h"
#include "text/sjis_jis.h"

namespace {

using namespace qm::bench;

constexpr std::size_t part_body_size = 20 * 1024 * 1024;
constexpr std::size_t base64_line_length = 76;

// A 20 MB attachment as the store keeps it (header, blank line, Base64 in
// 76-character lines with CR LF), read and decoded as saving it does.
void BM_Base64DecodeStoredPart(benchmark::State& state) {
    scratch_directory dir;
    const std::string encoded = qm::base64_encode_text(random_bytes(part_body_size * 3 / 4, 42));
    const std::string part = "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                             in_lines(encoded, base64_line_length);
    if (dir.path().empty() || !qm::write_binary_file(dir.path() + "1", part)) {
        state.SkipWithError("cannot write the part file");
        return;
    }
    for (auto _ : state) {
        if (!qm::read_stored_body(dir.path(), 1)) state.SkipWithError("decoding failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(part.size()));
}
BENCHMARK(BM_Base64DecodeStoredPart)->Unit(benchmark::kMillisecond)->UseRealTime();

// An attachment of 1 MB encoded for sending.
void BM_Base64EncodeText(benchmark::State& state) {
    std::string bytes = random_bytes(1024 * 1024, 42);
    for (auto _ : state) benchmark::DoNotOptimize(qm::base64_encode_text(bytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_Base64EncodeText);

// Header lines as received mail brings them: encoded subjects and names in
// the usual charsets, and plain fields.
void BM_DecodeHeaderLine(benchmark::State& state) {
    const std::string lines[] = {
        "Subject: =?ISO-2022-JP?B?GyRCMCEwIjAjMCQwJTAmMCcwKDApMCowKzAsGyhC?==?ISO-2022-JP?B?GyRCMC0wLjAvMDAwMTAyGyhC?=\n",
        "From: =?UTF-8?B?5bGx55Sw5aSq6YOO?= <taro@example.jp>\n",
        "Subject: =?UTF-8?Q?=E4=BC=9A=E8=AD=B0=E3=81=AE=E3=81=94=E6=A1=88=E5=86=85?=\n",
        "Subject: =?Shift_JIS?B?ir+Omg==?=\n",
        "Received: from mail.example.jp (mail.example.jp [192.0.2.1]) by mx.example.jp with ESMTP id 1234\n",
        "Date: Tue, 14 May 2024 09:30:00 +0900\n",
    };
    std::size_t bytes = 0;
    for (const auto& line : lines) bytes += line.size();
    for (auto _ : state) {
        for (const auto& line : lines) {
            std::string copy = line;
            qm::decode_header_line(copy);
            benchmark::DoNotOptimize(copy);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_DecodeHeaderLine);

constexpr std::size_t text_size = 20 * 1024 * 1024;
constexpr std::size_t line_capacity = 1001;

// Japanese mail text: kanji and kana with some ASCII and half-width
// katakana, in lines of about 70 bytes.
std::vector<std::string> japanese_lines() {
    std::vector<std::string> samples;
    for (const char* utf8 : {"日本語のテキストです。", "Quillmere 3.0 ", "お世話になっております", "ｶﾀｶﾅ", "①② ", "会議の日程: 12/24"})
        samples.push_back(cp932(utf8));
    std::vector<std::string> lines;
    std::size_t total = 0, k = 0;
    while (total < text_size) {
        std::string line;
        while (line.size() < 70) line += samples[k++ % samples.size()];
        line += '\n';
        total += line.size();
        lines.push_back(std::move(line));
    }
    return lines;
}

// Line by line into one reused buffer, as the mail writer converts.
void BM_sjis_to_jis_lines(benchmark::State& state) {
    static const std::vector<std::string> lines = japanese_lines();
    std::string output;
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const auto& line : lines) {
            bool ok = qm::sjis_to_jis(output, line_capacity, line);
            benchmark::DoNotOptimize(ok);
            bytes += line.size();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_sjis_to_jis_lines)->Unit(benchmark::kMillisecond);

// The whole text in one call.
void BM_sjis_to_jis_whole(benchmark::State& state) {
    static const std::string text = [] {
        std::string joined;
        for (const auto& line : japanese_lines()) joined += line;
        return joined;
    }();
    std::string output;
    for (auto _ : state) {
        bool ok = qm::sjis_to_jis(output, text.size() * 4 + 4, text);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_sjis_to_jis_whole)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
