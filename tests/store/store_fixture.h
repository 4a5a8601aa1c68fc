#pragma once

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "config/settings.h"
#include "message/message_fixture.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mailbox_layout.h"
#include "store/message_status.h"
#include "store/send_receive.h"

namespace qm::test {

inline const std::string file_error = "ファイルの読み書きに失敗しました.";

// The text with each fresh "Date:" value (the time of writing) as "*".
inline std::string date_marked(const std::string& text) {
    static const std::regex date(R"(Date: [A-Z][a-z]{2}, \d{1,2} [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4})");
    return std::regex_replace(text, date, "Date: *");
}

// A status file that holds only the type.
inline std::string type_status(char type) { return std::string("[mail status]\r\ntype=") + type + "\r\n"; }

// A message directory (UTF-8 path ending with "/"): its numbered files, empty ones left out, and a
// status file when `status` is given.
inline void write_message(const std::string& utf8_dir, const std::vector<std::string>& files,
                          std::string_view status = "") {
    std::filesystem::create_directories(utf8_dir);
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!files[i].empty()) write_bytes(utf8_dir + std::to_string(i), files[i]);
    if (!status.empty()) write_bytes(utf8_dir + "status.ini", status);
}

// The address space the process may take from now on: what it has, and `more` (RLIMIT_AS). Earlier tests of
// the same process leave the C library holding freed memory (it raises its threshold for mapping large
// blocks as they are freed), which would be room beyond `more`: large blocks are mapped afresh from here
// on, and the free top of the heap is given back first.
class address_space_room {
public:
    explicit address_space_room(std::size_t more) {
        ::mallopt(M_MMAP_THRESHOLD, 128 << 10);
        ::malloc_trim(0);
        ::getrlimit(RLIMIT_AS, &old_);
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;  // the first figure: the whole address space, in pages
        const rlimit room{pages * ::sysconf(_SC_PAGESIZE) + more, old_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_AS, &room), 0);
    }
    ~address_space_room() { ::setrlimit(RLIMIT_AS, &old_); }

private:
    rlimit old_{};
};

// What `run` gives while a limit of this kind (file_size_limit, address_space_room), made of `args`, holds.
template <class limit, class function, class... arguments>
auto under_limit(const function& run, const arguments&... args) {
    const limit held(args...);
    return run();
}

// The window's part in a round: each job's server recorded, `during_job` run, the job run to its end and a
// failure's message shown; passwords are the stored ones, and the browser step runs only when allowed.
class recording_host : public send_receive_host {
public:
    bool ask_password(std::string_view, password_server, std::string&) override { return false; }
    bool run_job(thread& job, std::string_view server, bool) override {
        servers.emplace_back(server);
        if (during_job) during_job(job);
        while (!job.is_finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (job.close_handle() == net_result::ok) return true;
        messages.show(message_kind::error, job_result_message(job));
        return false;
    }
    reporter& report() override { return messages; }
    bool may_sign_in() override { return browser_allowed; }

    names servers;
    std::function<void(thread&)> during_job;
    recording_reporter messages;
    bool browser_allowed = false;
};

// A temporary data directory as the program context, with the work directory "work/" and the
// account "acct" and its special folders in it. Context and settings are restored afterwards.
class store_test : public ::testing::Test {
protected:
    store_test() {
        set_context({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        EXPECT_TRUE(make_directory(dir.cp("work/")) && make_directory(account) && make_special_folders(account));
    }
    // A path below the account, UTF-8 and program form.
    std::string at(std::string_view relative) const { return dir / ("acct/" + std::string(relative)); }
    std::string cp(std::string_view relative) const { return sj(at(relative)); }
    // A message ".<number>" of a folder below the account, with this type.
    void message(const std::string& folder, int number, char type,
                 const std::vector<std::string>& files = {"Subject: s\r\n", "\r\nbody\r\n"}) const {
        write_message(at(folder + "." + std::to_string(number) + "/"), files, type_status(type));
    }

    temp_dir dir;
    const std::string account = dir.cp("acct/");
    const saved_context saved;
    recording_reporter report;
};

}  // namespace qm::test
