// Filing 2,000 downloads of four kinds into an inbox. Each batch of messages
// is flushed to the disk before it shows and its renames before the download
// files go: run it with TMPDIR on a disk file system to see what that costs,
// and on /dev/shm (where a flush costs nothing) to see the filing alone.

#include <benchmark/benchmark.h>

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
    fs::remove_all(root, ec);
    fs::create_directories(root + "work", ec);
    fs::create_directories(root + "account", ec);
    if (!qm::make_special_folders(root + "account/")) return false;
    for (std::size_t n = 0; n < messages.size(); ++n) {
        if (!qm::write_binary_file(root + "work/" + std::to_string(n) + ".pop", messages[n])) return false;
    }
    return true;
}

void BM_ImportDownloads(benchmark::State& state) {
    scratch_directory dir;
    const std::string root = dir.path() + "run/";
    const std::vector<std::string> messages = make_messages();
    silent_reporter report;
    for (auto _ : state) {
        state.PauseTiming();
        if (dir.path().empty() || !prepare_run(root, messages)) {
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

}  // namespace

BENCHMARK_MAIN();
