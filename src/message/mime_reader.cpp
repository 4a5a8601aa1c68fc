#include "message/mime_reader.h"

#include <string>
#include <vector>

#include "message/message_lines.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/tree_operations.h"
#include "message/part_file.h"
#include "text/encoded_words.h"
#include "base/find_nocase.h"

namespace qm {

namespace {

// The header of the empty text part that stands before the HTML of a
// text/html-only message.
constexpr std::string_view empty_text_part_header =
    "Content-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: 7bit\n\n";

bool is_content_line(std::string_view line) { return starts_with_nocase(line, "Content-"); }
bool is_content_type_line(std::string_view line) { return starts_with_nocase(line, "Content-Type"); }
bool is_encoding_line(std::string_view line) { return starts_with_nocase(line, "Content-Transfer-Encoding"); }

std::string decoded_header_line(std::string_view line) {
    std::string decoded(line);
    decode_header_line(decoded);
    neutralize_ctrl_z(decoded);
    return decoded;
}

// Splits one message held in memory into the files of a message directory.
class message_splitter {
public:
    explicit message_splitter(std::string_view base_path) : base_(base_path) {}

    // The last part number, or -1 after a failed file step.
    int split(std::string_view text) {
        if (!header_file_.open(part_file(base_, 0)) || !open_part_file(1)) return -1;
        line_splitter lines(text);
        std::string_view line;
        while (lines.next(line)) {
            if (!top_header_done_) {
                line_use use = read_top_header_line(line);
                if (use == line_use::failed) return -1;
                if (use == line_use::taken) continue;
            }
            if (multipart_ && line.starts_with(boundary_)) {
                if (line.substr(boundary_.size()).starts_with("--")) break;
                if (!start_next_part()) return -1;
                continue;
            }
            // Lines of part 0 after the top header are the preamble.
            if (part_ > 0 && !part_out_.write(line)) return -1;
        }
        if (!top_header_done_ && !finish_top_header()) return -1;
        if (!part_out_.close()) return -1;
        if (part_ > 0 && !decode_part(base_, part_)) return -1;
        return part_;
    }

private:
    enum class line_use { taken, boundary, failed };

    // Handles a line of the top-level header; a boundary line is left to
    // the caller.
    line_use read_top_header_line(std::string_view line) {
        if (is_content_type_line(line) && find_nocase(line, "boundary=") != std::string_view::npos) {
            std::string delimiter = boundary_delimiter(line);
            if (multipart_) return line_use::taken;
            if (!delimiter.empty()) {
                multipart_ = true;
                boundary_ = std::move(delimiter);
                return line_use::taken;
            }
        }
        if (is_blank_line(line)) {
            if (!finish_top_header()) return line_use::failed;
            if (!multipart_) {
                part_ = part_file_number_;
                if (!part_out_.write(line)) return line_use::failed;
            }
            return line_use::taken;
        }
        if (multipart_ && line.starts_with(boundary_)) return line_use::boundary;
        top_lines_.push_back(line);
        return line_use::taken;
    }

    // The top-level header is complete: its Content- lines describe the
    // body (part 1, or part 2 after the empty text part of an HTML-only
    // message); the others are the header file. The lines are sorted only
    // now, so that the order of the fields does not matter: in a multipart
    // message no transfer encoding of the whole reaches part 1, and an
    // HTML-only message keeps all of its Content- lines together.
    bool finish_top_header() {
        top_header_done_ = true;
        std::string header;
        std::vector<std::string_view> content;
        bool html = false;
        for (std::string_view line : top_lines_) {
            bool ordinary = !is_content_line(line) ||
                            (is_encoding_line(line) && (multipart_ || find_nocase(line, "binary") != std::string::npos));
            if (ordinary) {
                header += decoded_header_line(line);
                continue;
            }
            if (is_content_type_line(line) && find_nocase(line, "text/html", 13) != std::string::npos) html = true;
            content.push_back(line);
        }
        top_lines_.clear();
        if (!header_file_.write(header) || !header_file_.close()) return false;
        if (html && !split_off_empty_text_part()) return false;
        for (std::string_view line : content) {
            if (!part_out_.write(line)) return false;
        }
        return true;
    }

    bool split_off_empty_text_part() {
        if (!part_out_.write(empty_text_part_header) || !part_out_.close()) return false;
        if (!decode_part(base_, part_file_number_)) return false;
        return open_part_file(part_file_number_ + 1);
    }

    // A boundary line: the top header or the part before it is complete.
    bool start_next_part() {
        if (part_ == 0) {
            if (!top_header_done_ && !finish_top_header()) return false;
            part_ = part_file_number_;
            return true;
        }
        if (!part_out_.close() || !decode_part(base_, part_)) return false;
        ++part_;
        return open_part_file(part_);
    }

    bool open_part_file(int number) {
        part_file_number_ = number;
        return part_out_.open(part_file(base_, number));
    }

    std::string base_;
    text_writer header_file_;
    text_writer part_out_;
    int part_ = 0;              // the part being read; 0 while in the top header or preamble
    int part_file_number_ = 1;  // the part file being written
    bool multipart_ = false;
    bool top_header_done_ = false;
    std::string boundary_;
    std::vector<std::string_view> top_lines_;
};

}  // namespace

int split_message(std::string_view source_path, std::string_view base_path) {
    int result = -1;
    {
        std::string text;
        message_splitter splitter(base_path);
        if (read_text_file(source_path, text)) {
            result = splitter.split(text);
        }
    }
    if (result >= 0 && delete_file(source_path)) return result;
    delete_tree(base_path, false);
    return -1;
}

bool decode_header_file(std::string_view base_path) {
    std::string path = part_file(base_path, 0);
    std::string text;
    if (!read_text_file(path, text)) return false;
    std::string out;
    out.reserve(text.size());
    line_splitter lines(text);
    std::string_view line;
    while (lines.next(line)) out += decoded_header_line(line);
    if (out == text) return true;
    return rewrite_text(path, out);
}

}  // namespace qm
