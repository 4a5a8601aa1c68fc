#pragma once

// What the benchmark programs share: a scratch directory, quiet reporting,
// whole files, child programs and the pieces of the mail they build.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "platform/reporter.h"

extern char** environ;

namespace qm::bench {

namespace fs = std::filesystem;

// A directory of its own for a benchmark's files, in $TMPDIR (else /tmp);
// removed with everything in it at the end. path() is empty when it could
// not be made.
class scratch_directory {
public:
    explicit scratch_directory(const std::string& prefix = "qmbench") {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern + "/";
    }
    ~scratch_directory() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    scratch_directory(const scratch_directory&) = delete;
    scratch_directory& operator=(const scratch_directory&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Shows nothing and answers every question with yes.
class silent_reporter : public reporter {
public:
    bool show(message_kind, std::string_view) override { return true; }
};

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline std::string crlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) c == '\n' ? out += "\r\n" : out += c;
    return out;
}

inline std::string cp932(const std::string& utf8) { return utf8_to_cp932(utf8).value_or(""); }

// The same bytes for the same seed in every run.
inline std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
}

// The text cut into lines of `length` bytes, each ending with CR LF.
inline std::string in_lines(const std::string& text, std::size_t length) {
    std::string lines;
    for (std::size_t pos = 0; pos < text.size(); pos += length) lines.append(text, pos, length).append("\r\n");
    return lines;
}

// A paragraph of Japanese business mail, in UTF-8.
inline constexpr const char* japanese_text =
    "お世話になっております。来週の定例会議の資料をお送りします。"
    "ご確認のほど、よろしくお願いいたします。";

// The first header lines of received mail number `number`.
inline std::string received_header(int number) {
    return "Return-Path: <sender@example.com>\r\n"
           "Received: from mail.example.com by mx.example.net; Mon, 1 Jan 2024 09:00:00 +0900\r\n"
           "Message-ID: <" + std::to_string(number) + "@example.com>\r\n"
           "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\n";
}

// Appends numbered lines of `width` characters with CR LF to `text` until it
// holds `size` bytes; every tenth line begins with a dot.
inline void append_numbered_lines(std::string& text, int number, std::size_t size, std::size_t width) {
    for (int line = 0; text.size() < size; ++line) {
        std::string one = (line % 10 == 9 ? "." : "") + std::string("line ") + std::to_string(line) + " of " +
                          std::to_string(number) + " ";
        one.resize(width, 'x');
        text += one + "\r\n";
    }
}

// Runs a program found on the PATH with `environment` before this process's
// own, its standard input from `input` and its standard output into `output`
// (/dev/null when empty), and its standard error there too unless
// `show_errors`; the exit status, or -1 when it did not run or end.
inline int run_program(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {},
                       const std::string& input = "", const std::string& output = "", bool show_errors = false) {
    std::vector<std::string> variables = environment;
    for (char** e = environ; *e; ++e) variables.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& v : variables) envp.push_back(const_cast<char*>(v.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.empty() ? "/dev/null" : input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.empty() ? "/dev/null" : output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!show_errors) posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid;
    int failed = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed != 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#ifdef QUILLMERE_BINARY_DIR
// The quillmere-cli that is run: the one built beside the benchmark, or
// $QUILLMERE_CLI (an older build, to compare with).
inline std::string cli_program() {
    const char* chosen = std::getenv("QUILLMERE_CLI");
    return chosen && *chosen ? chosen : std::string(QUILLMERE_BINARY_DIR) + "/quillmere-cli";
}
#endif

// Scratch files live in memory unless TMPDIR says otherwise, so that what a
// network benchmark measures is the dialogue, not how a disk file system
// finds free inodes.
inline void prefer_memory_scratch() {
    const char* chosen = std::getenv("TMPDIR");
    if ((!chosen || !*chosen) && ::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
    std::printf("Scratch directory: %s (set TMPDIR to choose another)\n",
                std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
}

}  // namespace qm::bench
