#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "platform/program_context.h"
#include "platform/reporter.h"

namespace qm::test {

using names = std::vector<std::string>;

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
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    // The directory (ending with "/") or a path below it: UTF-8 and program (CP932) form.
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view utf8_name) const { return path_ + std::string(utf8_name); }
    std::string cp() const;
    std::string cp(std::string_view utf8_name) const;

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

// Sets an environment variable for the lifetime of the object.
class scoped_env {
public:
    scoped_env(const char* name, const char* value);
    ~scoped_env();
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// The program's context and settings, put back as they were when the object goes.
class saved_context {
public:
    saved_context() {}  // user-provided, so that a fixture may hold it const
    saved_context(const saved_context&) = delete;
    saved_context& operator=(const saved_context&) = delete;
    ~saved_context() {
        set_context(context_);
        settings() = settings_;
    }

private:
    const program_context context_ = context();
    const Settings settings_ = settings();
};

// Sets the system time zone (a name below /usr/share/zoneinfo) for the lifetime of the object.
class scoped_time_zone {
public:
    explicit scoped_time_zone(const char* zone);
    ~scoped_time_zone();

private:
    std::unique_ptr<scoped_env> env_;
};

// While it lives, no file may grow past `bytes`: a write beyond fails with EFBIG, or with
// `signal_kills` the program the test runs that writes it is ended by SIGXFSZ.
class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes, bool signal_kills = false);
    ~file_size_limit();
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

private:
    rlimit old_{};
    void (*handler_)(int);
};

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
