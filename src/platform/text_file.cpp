#include "platform/text_file.h"

#include "platform/open_directory.h"

namespace qm {

namespace {
// Most files the program reads are a few hundred bytes (status and profile
// files); a small first block spares them the large buffer.
constexpr std::size_t first_read_block = 4096;
constexpr std::size_t read_block = 65536;
}

bool text_reader::open(std::string_view path) {
    file_ = open_file(path, "rb");
    buffer_.clear();
    pos_ = 0;
    ended_ = false;
    failed_ = false;
    filled_once_ = false;
    return file_ != nullptr;
}

bool text_reader::fill() {
    if (!file_ || ended_) return false;
    std::size_t block = filled_once_ ? read_block : first_read_block;
    filled_once_ = true;
    buffer_.resize(block);
    std::size_t n = std::fread(buffer_.data(), 1, block, file_.get());
    buffer_.resize(n);
    pos_ = 0;
    if (n == 0) {
        if (std::ferror(file_.get())) failed_ = true;
        ended_ = true;
        return false;
    }
    return true;
}

int text_reader::next_raw() {
    if (pos_ >= buffer_.size() && !fill()) return -1;
    return static_cast<unsigned char>(buffer_[pos_++]);
}

int text_reader::get() {
    if (ended_ && pos_ >= buffer_.size()) return -1;
    int c = next_raw();
    if (c == static_cast<unsigned char>(ctrl_z)) {
        ended_ = true;
        buffer_.clear();
        pos_ = 0;
        return -1;
    }
    if (c == '\r') {
        int following = next_raw();
        if (following == '\n') return '\n';
        if (following >= 0) --pos_;  // keep a lone CR, look at the byte again
    }
    return c;
}

bool text_reader::read_piece(std::string& piece, std::size_t capacity) {
    piece.clear();
    if (capacity < 2) return false;
    while (piece.size() < capacity - 1) {
        int c = get();
        if (c < 0) break;
        piece.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !piece.empty();
}

bool text_reader::read_line(std::string& line) {
    line.clear();
    int c = get();
    if (c < 0) return false;
    while (c >= 0 && c != '\n') {
        line.push_back(static_cast<char>(c));
        c = get();
    }
    return true;
}

std::string text_reader::read_rest() {
    std::string text;
    int c;
    while ((c = get()) >= 0) text.push_back(static_cast<char>(c));
    return text;
}

bool text_writer::open(std::string_view path, bool append) {
    file_ = create_file(path, append);
    ok_ = file_ != nullptr;
    return ok_;
}

bool text_writer::write(std::string_view text) {
    if (!file_) return false;
    std::size_t start = 0;
    while (ok_ && start < text.size()) {
        std::size_t lf = text.find('\n', start);
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (end > start && std::fwrite(text.data() + start, 1, end - start, file_.get()) != end - start)
            ok_ = false;
        if (ok_ && lf != std::string_view::npos && std::fwrite("\r\n", 1, 2, file_.get()) != 2) ok_ = false;
        start = end + 1;
    }
    return ok_;
}

bool text_writer::close() {
    if (!file_) return false;
    bool ok = close_checked(file_) && ok_;
    ok_ = true;
    return ok;
}

std::string text_mode_bytes(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 32 + 16);
    std::size_t start = 0;
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', start)) {
        bytes.append(text, start, lf - start).append("\r\n");
        start = lf + 1;
    }
    return bytes.append(text, start);
}

bool read_text_file(std::string_view path, std::string& text) {
    std::string bytes;
    if (!read_whole_file(path, bytes)) {
        text.clear();
        return false;
    }
    text = text_mode_text(bytes);
    return true;
}

std::string text_mode_text(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find(ctrl_z));
    std::string text;
    text.reserve(bytes.size());
    std::size_t start = 0;
    for (std::size_t cr = bytes.find('\r'); cr != std::string_view::npos; cr = bytes.find('\r', cr + 1)) {
        if (cr + 1 >= bytes.size() || bytes[cr + 1] != '\n') continue;
        text.append(bytes.substr(start, cr - start));
        start = cr + 1;
    }
    text.append(bytes.substr(start));
    return text;
}

}  // namespace qm
