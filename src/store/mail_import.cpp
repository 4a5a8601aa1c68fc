#include "store/mail_import.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/work_directory.h"

namespace qm {

namespace {

constexpr std::size_t copy_block = 65536;
constexpr std::string_view mbox_separator = "From ";
constexpr std::string_view quoted_separator = ">From ";

bool is_blank_line(std::string_view line) { return line == "\n" || line == "\r\n"; }

// Reads a file line by line, each line with its line feed, however long,
// a block at a time (a large mbox in few reads).
class line_source {
public:
    explicit line_source(std::FILE* file) : file_(file), block_(copy_block) {}

    bool next(std::string_view& line) {
        for (;;) {
            std::string_view rest(block_.data() + start_, end_ - start_);
            std::size_t newline = rest.find('\n');
            if (newline != std::string_view::npos || (at_end_ && !rest.empty())) {
                line = rest.substr(0, newline == std::string_view::npos ? rest.size() : newline + 1);
                start_ += line.size();
                return true;
            }
            if (at_end_) return false;
            read_more();
        }
    }
    bool failed() const { return std::ferror(file_) != 0; }

private:
    // Keeps the unfinished line at the front, makes room behind it (more
    // for a line longer than a block) and fills it.
    void read_more() {
        if (start_ > 0) std::memmove(block_.data(), block_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
        if (block_.size() - end_ < copy_block) block_.resize(std::max(2 * block_.size(), end_ + copy_block));
        std::size_t n = std::fread(block_.data() + end_, 1, block_.size() - end_, file_);
        end_ += n;
        if (n == 0) at_end_ = true;
    }

    std::FILE* file_;
    std::vector<char> block_;
    std::size_t start_ = 0, end_ = 0;
    bool at_end_ = false;
};

// A download file whose line ends are made CR LF as they are written.
class download_copy {
public:
    bool begin(std::string_view work_directory) {
        last_was_cr_ = false;
        return file_.open_next_download(work_directory, next_number_);
    }
    bool is_open() const { return file_.is_open(); }
    void write(std::string_view bytes) {
        converted_.clear();
        for (char c : bytes) {
            if (c == '\n' && !last_was_cr_) converted_.push_back('\r');
            converted_.push_back(c);
            last_was_cr_ = c == '\r';
        }
        file_.write(converted_);
    }
    bool commit() { return file_.commit(); }
    void abandon() { file_.abandon(); }

private:
    whole_file_writer file_;
    // The work directory is listed for the first message of an mbox only.
    std::optional<std::uint64_t> next_number_;
    std::string converted_;
    bool last_was_cr_ = false;
};

}  // namespace

bool looks_like_mbox(std::FILE* source) {
    bool mbox = true;
    {
        line_source lines(source);
        std::string_view line;
        while (lines.next(line)) {
            if (is_blank_line(line)) continue;
            mbox = line.starts_with(mbox_separator);
            break;
        }
    }
    std::rewind(source);
    return mbox;
}

bool copy_message_to_downloads(std::FILE* source, std::string_view work_directory) {
    download_copy copy;
    if (!copy.begin(work_directory)) return false;
    std::string block(copy_block, '\0');
    std::size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), source)) > 0) copy.write(std::string_view(block.data(), n));
    if (std::ferror(source)) {
        copy.abandon();
        return false;
    }
    return copy.commit();
}

mbox_copy copy_mbox_to_downloads(std::FILE* source, std::string_view work_directory) {
    mbox_copy result;
    line_source lines(source);
    download_copy copy;
    bool has_content = false;
    std::string held_blank;
    auto end_message = [&]() {
        if (!copy.is_open()) return true;
        if (!has_content) {
            copy.abandon();
            return true;
        }
        if (!copy.commit()) return false;
        ++result.copied;
        return true;
    };
    bool ok = true;
    std::string_view line;
    while (ok && lines.next(line)) {
        if (line.starts_with(mbox_separator)) {
            ok = end_message() && copy.begin(work_directory);
            has_content = false;
            held_blank.clear();
        } else if (copy.is_open()) {
            if (!held_blank.empty()) {
                copy.write(held_blank);
                held_blank.clear();
                has_content = true;
            }
            if (is_blank_line(line)) {
                held_blank = line;
            } else {
                if (line.starts_with(quoted_separator)) line.remove_prefix(1);
                copy.write(line);
                has_content = true;
            }
        }
    }
    if (ok && lines.failed()) ok = false;
    if (!ok) copy.abandon();
    ok = end_message() && ok;
    result.failed = !ok;
    return result;
}

}  // namespace qm
