#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "platform/program_context.h"
#include "platform/reporter.h"

namespace qm::test {

using names = std::vector<std::string>;

// A base for what undoes, when it goes, what it did: a copy would undo it twice.
struct non_copyable {
    non_copyable() = default;
    non_copyable(const non_copyable&) = delete;
    non_copyable& operator=(const non_copyable&) = delete;
};

// The text with every line feed turned into CR LF, as files hold it.
inline std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) c == '\n' ? out += "\r\n" : out += c;
    return out;
}

inline const std::string q = "\x81\x48";  // the full-width question mark, CP932's replacement

// The result of an in-place conversion applied to a copy of `text`.
template <typename Convert, typename... Args>
std::string applied(Convert convert, std::string text, Args... args) {
    convert(text, args...);
    return text;
}

// CP932 bytes of a UTF-8 literal (the program's internal text).
std::string sj(std::string_view utf8);
// UTF-8 of CP932 bytes, for readable failure messages and comparisons.
std::string u8(std::string_view cp932);

// A fresh temporary directory, removed with everything in it when the object goes.
class temp_dir : non_copyable {
public:
    temp_dir();
    ~temp_dir();

    // The directory (ending with "/") or a path below it: UTF-8 and program (CP932) form.
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view utf8_name) const { return path_ + std::string(utf8_name); }
    std::string cp(std::string_view utf8_name = {}) const;

private:
    std::string path_;
};

// Removes a tree, making read-only directories writable first.
void remove_tree(const std::string& utf8_path);

// The bytes of a file ("" when missing); whether it exists; writing one (and its directories);
// the names in a directory (UTF-8), sorted, without "." and "..".
std::string read_bytes(const std::string& utf8_path);
bool exists(const std::string& utf8_path);
void write_bytes(const std::string& utf8_path, std::string_view bytes);
std::vector<std::string> list_names(const std::string& utf8_path);
// The permission bits of a path (not followed when it is a link); ~0u when it is missing.
unsigned mode_of(const std::string& utf8_path);
// Every entry below a directory by relative path: a file's mode and bytes, a link's target, a
// directory's read-only mark. A pipe is never opened (it would wait for a writer).
std::map<std::string, std::string> tree_snapshot(const std::string& utf8_directory);
// The envelope the outbox writes beside an outgoing file "<n>.smt": the
// sender, then one recipient a line.
void write_envelope(const std::string& utf8_outgoing_path, const std::string& sender,
                    const std::vector<std::string>& recipients);

// Records every message the core shows; answers questions with `answer`.
class recording_reporter : public reporter {
public:
    bool show(message_kind kind, std::string_view text) override {
        shown.emplace_back(kind, std::string(text));
        return answer;
    }
    std::vector<std::string> texts() const;  // as UTF-8

    std::vector<std::pair<message_kind, std::string>> shown;
    bool answer = true;
};

// Sets an environment variable (nullptr: unsets it) for the lifetime of the object; `changed` runs
// once it is set and again once it is put back.
class scoped_env : non_copyable {
public:
    scoped_env(const char* name, const char* value, void (*changed)() = [] {});
    ~scoped_env();

private:
    std::string name_;
    std::optional<std::string> old_;
    void (*changed_)();
};

// The program's context and settings, put back as they were when the object goes.
class saved_context : non_copyable {
public:
    saved_context() {}  // user-provided, so that a fixture may hold it const
    ~saved_context() {
        set_context(context_);
        settings() = settings_;
    }

private:
    const program_context context_ = context();
    const Settings settings_ = settings();
};

// Sets the system time zone (a name below /usr/share/zoneinfo) for the lifetime of the object.
class scoped_time_zone : scoped_env {
public:
    explicit scoped_time_zone(const char* zone);
};

// While it lives, no file may grow past `bytes`: a write beyond fails with EFBIG, or with
// `signal_kills` the program the test runs that writes it is ended by SIGXFSZ.
class file_size_limit : non_copyable {
public:
    explicit file_size_limit(rlim_t bytes, bool signal_kills = false);
    ~file_size_limit();

private:
    rlimit old_{};
    void (*handler_)(int);
};

// Polls (every 10 ms) until `done` holds or the time is up; whether it holds.
bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Whether the tests run under CI=true, where what is missing fails a test instead of skipping it.
bool in_ci();

// Starts the test's server; where its programs are missing the test is skipped, except under CI.
template <class server_type, class... arguments>
void start_server(std::unique_ptr<server_type>& server, const arguments&... args) {
    if (!server_type::installed() && !in_ci()) GTEST_SKIP() << "not installed (scripts/install-deps.sh test installs it)";
    server = std::make_unique<server_type>(args...);
    ASSERT_TRUE(server->running()) << server->failure();
}

}  // namespace qm::test
