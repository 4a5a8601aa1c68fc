// Sending over SMTP to a Postfix on loopback (with Dovecot SASL), started by
// the benchmark: 500 messages of about 20 KB, prepared from an outbox,
//  - by our client in one send job (CRAM-MD5 login, as the server offers it),
//  - by the machine's python3 smtplib in one session (the same login and the
//    same files, its envelope taken from the headers as ours is): about the
//    server's own limit, which ours must come within 10% of,
//  - by msmtp, one process per message, for scale;
// all in messages per second, against the same server in the same run.
// Each run starts when the server has delivered everything of the last one.
// Run bench_smtp on its own, as root (Postfix needs it): the rates depend on a
// quiet machine.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "net/connection.h"
#include "net/result_codes.h"
#include "net/smtp_client.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/outbox.h"
#include "support/job_runner.h"
#include "support/smtp_server.h"
#include "support/test_support.h"

namespace {

using namespace qm::bench;
using qm::test::smtp_port;
using qm::test::smtp_server;

constexpr int message_count = 500;
constexpr std::size_t message_size = 20 * 1024;

// Everything the benchmarks share: the server and the 500 prepared files.
struct setup {
    std::unique_ptr<smtp_server> server;
    scratch_directory scratch;
    std::string prepared;  // the prepared "<n>.smt" files, UTF-8 path ending with "/"
    std::vector<std::string> names;
    std::string failure;
    std::size_t delivered = 0;

    setup() {
        server = std::make_unique<smtp_server>();
        if (!server->running()) {
            failure = server->failure();
            return;
        }
        if (!prepare_outbox_files()) failure = "the outbox could not be prepared";
    }

    // Drafts with a Japanese subject and about 20 KB of text each, prepared
    // by the outbox as a send job prepares them.
    bool prepare_outbox_files() {
        const std::string root = scratch.path();
        const std::string account = root + "account/";
        const std::string work = root + "work/";
        fs::create_directories(work);
        qm::set_context({qm::test::sj(root), qm::test::sj(root), qm::test::sj(work), qm::test::sj(root)});
        if (!qm::make_directory(qm::test::sj(account)) || !qm::make_special_folders(qm::test::sj(account)))
            return false;
        for (int n = 1; n <= message_count; ++n) {
            std::string draft = account + " 送信箱/." + std::to_string(n) + "/";
            fs::create_directories(draft);
            std::string header = "From: " + server->address() + "\r\nTo: " + server->address() +
                                 "\r\nSubject: " + qm::test::sj("ベンチマーク ") + std::to_string(n) + "\r\n";
            std::string body = "\r\n";
            append_numbered_lines(body, n, message_size, 74);
            write_file(draft + "0", header);
            write_file(draft + "1", body);
            if (!qm::write_initial_status(qm::test::sj(draft) + "status.ini", qm::type_draft, false)) return false;
        }
        qm::test::recording_reporter report;
        if (qm::prepare_outbox(qm::test::sj(account), qm::test::sj(work), report).kept > 0) return false;
        prepared = root + "prepared/";
        fs::create_directories(prepared);
        for (int n = 1; n <= message_count; ++n) {
            for (const char* suffix : {".smt", ".env"}) {
                std::string name = std::to_string(n) + suffix;
                fs::copy_file(work + name, prepared + name);
            }
            names.push_back(std::to_string(n) + ".smt");
        }
        return true;
    }

    // A fresh directory holding a copy of every prepared file.
    std::string fresh_queue(const std::string& name) {
        std::string queue = scratch.path() + name + "/";
        std::error_code ec;
        fs::remove_all(queue, ec);
        fs::create_directories(queue);
        for (const std::string& file : names) {
            fs::copy_file(prepared + file, queue + file);
            const std::string envelope = file.substr(0, file.size() - 4) + ".env";
            fs::copy_file(prepared + envelope, queue + envelope);
        }
        return queue;
    }

    // Waits until the server has delivered one more batch.
    bool wait_for_batch() {
        delivered += message_count;
        return server->wait_for_delivery(delivered, 0, std::chrono::milliseconds(120000));
    }
};

setup& shared() {
    static setup made;
    return made;
}

double quillmere_rate = 0;
double python_rate = 0;
double msmtp_rate = 0;

void BM_SmtpSend_Quillmere(benchmark::State& state) {
    setup& s = shared();
    if (!s.failure.empty()) return state.SkipWithError(s.failure.c_str());
    double seconds = 0;
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string queue = qm::test::sj(s.fresh_queue("quillmere" + std::to_string(run++)));
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        qm::net_result code =
            qm::test::run_connected({.host = s.server->host(), .port = s.server->port(smtp_port::all_mechanisms)},
                                    [&](qm::connection& link, qm::thread& job) {
                                        std::string user = s.server->user();
                                        std::string password = s.server->password();
                                        qm::net_result result = qm::smtp_start(
                                            link, job, "", &user, password);
                                        if (result == qm::net_result::ok) result = qm::smtp_send_queue(link, job, queue);
                                        qm::smtp_quit(link, job);
                                        return result;
                                    })
                .result;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        if (code != qm::net_result::ok)
            return state.SkipWithError(("send failed with code " + std::to_string(static_cast<int>(code))).c_str());
        if (!fs::is_empty(qm::test::u8(queue))) return state.SkipWithError("not every file was sent");
        if (!s.wait_for_batch()) return state.SkipWithError("the server did not deliver every message");
        state.ResumeTiming();
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(message_count), benchmark::Counter::kIsIterationInvariantRate);
    quillmere_rate = message_count * static_cast<double>(state.iterations()) / seconds;
}

// The same files in one smtplib session; the script times itself from the
// connection to QUIT, so that the interpreter's start is not counted.
const char* python_sender = R"(import sys, time, smtplib
from email.parser import BytesHeaderParser
from email.utils import getaddresses, parseaddr
host, port, user, password, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
names = sys.argv[6:]
start = time.perf_counter()
s = smtplib.SMTP(host, port, local_hostname=user)
s.login(user, password)
for name in names:
    with open(folder + name, 'rb') as f:
        data = f.read()
    header = BytesHeaderParser().parsebytes(data)
    sender = parseaddr(header['From'])[1]
    recipients = [a for _, a in getaddresses(header.get_all('To', []) + header.get_all('Cc', []) + header.get_all('Bcc', [])) if a]
    s.sendmail(sender, recipients, data)
s.quit()
print(time.perf_counter() - start)
)";

void BM_SmtpSend_PythonSmtplib(benchmark::State& state) {
    setup& s = shared();
    if (!s.failure.empty()) return state.SkipWithError(s.failure.c_str());
    const std::string script = s.scratch.path() + "send.py";
    const std::string output = s.scratch.path() + "python.out";
    write_file(script, python_sender);
    double seconds = 0;
    for (auto _ : state) {
        std::vector<std::string> arguments = {"python3", script, s.server->host(),
                                              std::to_string(s.server->port(smtp_port::all_mechanisms)),
                                              s.server->user(), s.server->password(), s.prepared};
        arguments.insert(arguments.end(), s.names.begin(), s.names.end());
        int status = run_program(arguments, {}, "", output);
        state.PauseTiming();
        std::string printed = read_file(output);
        if (status != 0) return state.SkipWithError(("python3 failed: " + printed).c_str());
        seconds += std::strtod(printed.c_str(), nullptr);
        if (!s.wait_for_batch()) return state.SkipWithError("the server did not deliver every message");
        state.ResumeTiming();
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(message_count), benchmark::Counter::kIsIterationInvariantRate);
    python_rate = message_count * static_cast<double>(state.iterations()) / seconds;
}

void BM_SmtpSend_MsmtpPerMessage(benchmark::State& state) {
    setup& s = shared();
    if (!s.failure.empty()) return state.SkipWithError(s.failure.c_str());
    const std::string rcfile = s.scratch.path() + "msmtprc";
    write_file(rcfile, "account bench\nhost " + s.server->host() + "\nport " +
                           std::to_string(s.server->port(smtp_port::all_mechanisms)) +
                           "\ntls off\nauth cram-md5\nuser " + s.server->user() + "\npassword " + s.server->password() +
                           "\nfrom " + s.server->address() + "\naccount default : bench\n");
    fs::permissions(rcfile, fs::perms::owner_read | fs::perms::owner_write);
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (const std::string& name : s.names) {
            int status = run_program({"msmtp", "-C", rcfile, "-t"}, {}, s.prepared + name);
            if (status != 0)
                return state.SkipWithError(("msmtp failed (is it installed?), exit status " + std::to_string(status)).c_str());
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        if (!s.wait_for_batch()) return state.SkipWithError("the server did not deliver every message");
        state.ResumeTiming();
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(message_count), benchmark::Counter::kIsIterationInvariantRate);
    msmtp_rate = message_count * static_cast<double>(state.iterations()) / seconds;
}

BENCHMARK(BM_SmtpSend_Quillmere)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SmtpSend_PythonSmtplib)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SmtpSend_MsmtpPerMessage)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // The queue, the server's queue and its maildirs live in memory unless
    // TMPDIR says otherwise: what is measured is the dialogue, not a disk.
    prefer_memory_scratch();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (quillmere_rate > 0 && python_rate > 0)
        std::printf("SMTP send of %d messages of %zu KB: quillmere %.0f messages/s, python3 smtplib %.0f messages/s "
                    "(%.2fx), msmtp (a process per message) %.0f messages/s\n",
                    message_count, message_size / 1024, quillmere_rate, python_rate, quillmere_rate / python_rate,
                    msmtp_rate);
    return 0;
}
