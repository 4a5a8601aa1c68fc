#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/file_handle.h"

namespace qm {

// Line pieces as the program reads them: message files in lines of at most
// 1000 characters, list, profile and part-header lines of at most 255. A
// longer physical line is handed out as several pieces.
inline constexpr std::size_t message_line_capacity = 1001;
inline constexpr std::size_t short_line_capacity = 256;

inline constexpr char ctrl_z = '\x1a';

// Whether the text holds a byte that would end or split a line of a text
// file: a line feed, a carriage return, a Ctrl-Z or a zero byte.
inline bool holds_line_break(std::string_view text) {
    return text.find_first_of(std::string_view("\n\r\x1a\0", 4)) != std::string_view::npos;
}

// Reads a file in text mode: CR LF becomes LF, and a Ctrl-Z byte ends the
// file. A CR not followed by LF is kept.
class text_reader {
public:
    text_reader() = default;
    explicit text_reader(std::string_view path) { open(path); }

    bool open(std::string_view path);
    bool is_open() const { return file_ != nullptr; }
    void close() { file_.reset(); }

    // The next byte, or -1 at the end of the file.
    int get();

    // Like fgets with a buffer of `capacity` bytes: at most capacity - 1
    // bytes, up to and including a line feed. False at the end of the file
    // (nothing read).
    bool read_piece(std::string& piece, std::size_t capacity);

    // The next whole line without its line feed, however long. False at the
    // end of the file.
    bool read_line(std::string& line);

    // Everything that is left.
    std::string read_rest();

    // True when a read failed (not merely reached the end).
    bool failed() const { return failed_; }

private:
    bool fill();
    int next_raw();

    file_handle file_;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    bool filled_once_ = false;
};

// Writes a file in text mode: every LF becomes CR LF.
class text_writer {
public:
    text_writer() = default;
    text_writer(const text_writer&) = delete;
    text_writer& operator=(const text_writer&) = delete;
    ~text_writer() { file_.reset(); }

    // Creates or truncates the file (or appends to it).
    bool open(std::string_view path, bool append = false);
    bool is_open() const { return file_ != nullptr; }

    bool write(std::string_view text);
    bool put(char c) { return write(std::string_view(&c, 1)); }

    // Flushes and closes; true when every write reached the file.
    bool close();

private:
    file_handle file_;
    bool ok_ = true;
};

// The bytes text_writer writes for the text: every LF as CR LF.
std::string text_mode_bytes(std::string_view text);

// The whole file read in text mode; false when it cannot be opened or read.
bool read_text_file(std::string_view path, std::string& text);

// Bytes as a text-mode read gives them: each CR LF becomes LF, a lone CR
// stays, and the text ends at the first Ctrl-Z.
std::string text_mode_text(std::string_view bytes);

}  // namespace qm
