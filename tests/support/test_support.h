#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/reporter.h"

namespace qm::test {

using names = std::vector<std::string>;

// The text with every line feed turned into CR LF, as files hold it.
inline std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) c == '\n' ? out += "\r\n" : out += c;
    return out;
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

}  // namespace qm::test
