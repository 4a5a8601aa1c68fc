#include "platform/program_launch.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/cp932.h"
#include "base/find_nocase.h"

extern char** environ;

namespace qm {

namespace {

constexpr std::string_view word_blanks = " \t\n";

// The "%NAME%" scan shared by the CP932 and the UTF-8 form: "%" is never
// the second byte of a character in either, so the bytes can be scanned as
// they are.
std::string expand_with(std::string_view text,
                        const std::function<std::optional<std::string>(const std::string&)>& lookup) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t open = text.find('%', pos);
        if (open == std::string_view::npos) break;
        std::size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) break;
        out.append(text.substr(pos, open - pos));
        std::optional<std::string> value;
        if (close > open + 1) value = lookup(std::string(text.substr(open + 1, close - open - 1)));
        if (value) {
            out += *value;
        } else {
            out.append(text.substr(open, close - open + 1));
        }
        pos = close + 1;
    }
    out.append(text.substr(pos));
    return out;
}

std::optional<std::string> environment_value(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string_view trim_blanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(word_blanks);
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(word_blanks);
    return text.substr(first, last - first + 1);
}

bool is_regular_file(const std::string& utf8_path) {
    struct stat status;
    return ::stat(utf8_path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// How a started program ended, as far as anyone waited for it.
struct child_end {
    std::mutex mutex;
    std::condition_variable ended_signal;
    bool ended = false;
    int status = 0;
};

// Every signal back to its default and none blocked, so that the program
// does not inherit the caller's ignored SIGPIPE or a worker's mask.
bool spawn_detached(const std::vector<std::string>& words, const std::shared_ptr<child_end>& end = nullptr) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t child = 0;
    int error = posix_spawnp(&child, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) return false;

    // The program runs as long as the user keeps it open; a thread of its
    // own waits for it, so that no zombie stays and nothing depends on
    // SIGCHLD.
    try {
        std::thread([child, end] {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            if (!end) return;
            std::lock_guard<std::mutex> lock(end->mutex);
            end->ended = true;
            end->status = status;
            end->ended_signal.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // The program did start; it is reaped when this process ends.
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::string>> split_command_words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;  // a line continuation joins the text around it
            continue;
        }
        if (word_blanks.find(c) != std::string_view::npos) {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
            continue;
        }
        in_word = true;
        if (c == '\'') {
            std::size_t close = text.find('\'', i + 1);
            if (close == std::string_view::npos) return std::nullopt;
            word.append(text.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"') break;
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::string_view("$`\"\\\n").find(text[i + 1]) != std::string_view::npos) {
                    ++i;
                    if (text[i] == '\n') continue;
                }
                word += text[i];
            }
        } else if (c == '\\') {
            if (i + 1 >= text.size()) return std::nullopt;
            word += text[++i];
        } else {
            word += c;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

bool is_refused_program(std::string_view program_word) {
    auto ends_with = [program_word](std::string_view suffix) {
        return program_word.size() >= suffix.size() &&
               equals_nocase(program_word.substr(program_word.size() - suffix.size()), suffix);
    };
    return ends_with(".com") || ends_with(".bat");
}

bool start_program(std::string_view program, std::string_view document) {
    std::optional<std::string> utf8_program = cp932_to_utf8(program);
    std::optional<std::string> utf8_document = cp932_to_utf8(document);
    if (!utf8_program || !utf8_document) return false;

    std::string expanded = expand_with(*utf8_program, environment_value);
    std::string_view whole = trim_blanks(expanded);
    std::vector<std::string> words;
    if (!whole.empty() && is_regular_file(std::string(whole))) {
        words.emplace_back(whole);
    } else if (std::optional<std::vector<std::string>> split = split_command_words(whole)) {
        words = std::move(*split);
    } else {
        return false;
    }

    const bool opener = words.empty();
    if (opener) {
        if (utf8_document->empty()) return false;
        words.emplace_back("xdg-open");
    } else if (is_refused_program(words.front())) {
        return false;
    }
    if (!utf8_document->empty()) words.push_back(std::move(*utf8_document));
    if (!opener) return spawn_detached(words);

    // xdg-open says at once when the desktop has no program for the
    // document; one that started a program may stay until it ends.
    auto end = std::make_shared<child_end>();
    if (!spawn_detached(words, end)) return false;
    std::unique_lock<std::mutex> lock(end->mutex);
    if (!end->ended_signal.wait_for(lock, opener_failure_wait, [&] { return end->ended; })) return true;
    return WIFEXITED(end->status) && WEXITSTATUS(end->status) == 0;
}

}  // namespace qm
