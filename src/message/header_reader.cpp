#include "message/header_reader.h"

#include <algorithm>

#include "message/message_lines.h"
#include "platform/open_directory.h"
#include "platform/text_file.h"
#include "text/mail_address.h"

namespace qm {

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view subject_field = "Subject";
constexpr std::string_view missing_subject = "???";

std::string_view value_after_colon(std::string_view line) {
    std::string_view value = without_line_feed(line);
    return value.substr(std::min(skip_chars(value, line.find(':') + 1, " \t"), value.size()));
}

}  // namespace

bool header_reader::read(std::string_view path) {
    if (read_text_file(path, text_)) return true;
    text_.clear();
    return false;
}

bool header_reader::read(const open_directory& directory, std::string_view name, std::size_t* file_bytes) {
    std::string bytes;
    if (!directory.read_small_file(name, bytes)) {
        text_.clear();
        return false;
    }
    if (file_bytes) *file_bytes = bytes.size();
    text_ = text_mode_text(bytes);
    return true;
}

std::optional<std::string_view> header_reader::field_line(std::string_view name) const {
    line_splitter lines(text_);
    std::string_view line;
    while (lines.next(line)) {
        if (is_field_line(line, name) && line.find(':') != npos) return line;
    }
    return std::nullopt;
}

std::optional<std::string_view> header_reader::line_starting(std::string_view name) const {
    line_splitter lines(text_);
    std::string_view line;
    while (lines.next(line)) {
        if (is_field_line(line, name)) return line;
    }
    return std::nullopt;
}

bool header_reader::has_any_line(std::span<const std::string_view> names) const {
    line_splitter lines(text_);
    std::string_view line;
    while (lines.next(line)) {
        for (std::string_view name : names) {
            if (is_field_line(line, name)) return true;
        }
    }
    return false;
}

std::optional<std::string_view> header_reader::value(std::string_view name) const {
    std::optional<std::string_view> line = field_line(name);
    if (!line) return std::nullopt;
    return value_after_colon(*line);
}

std::string header_reader::subject(std::size_t capacity) const {
    return cut_to_capacity(value(subject_field).value_or(missing_subject), capacity);
}

std::optional<std::string> header_reader::token(std::string_view name, std::size_t capacity) const {
    std::optional<std::string_view> text = value(name);
    if (!text) return std::nullopt;
    return cut_to_capacity(text->substr(0, text->find_first_of("\t ")), capacity);
}

std::vector<std::string> header_reader::words(std::string_view name, std::size_t capacity, std::size_t count) const {
    std::vector<std::string> found;
    line_splitter lines(text_);
    std::string_view line;
    bool in_field = false;
    while (found.size() < count && lines.next(line)) {
        std::string_view text;
        if (in_field && is_continuation_line(line)) {
            text = line;
        } else if (!in_field && is_field_line(line, name)) {
            std::size_t colon = line.find(':');
            if (colon == npos) break;
            text = line.substr(colon + 1);
            in_field = true;
        } else if (in_field) {
            break;
        } else {
            continue;
        }
        text = without_line_feed(text);
        for (std::size_t start = skip_chars(text, 0, " \t"); start < text.size() && found.size() < count;) {
            const std::size_t end = std::min(text.find_first_of(" \t", start), text.size());
            found.push_back(cut_to_capacity(text.substr(start, end - start), capacity));
            start = skip_chars(text, end, " \t");
        }
    }
    return found;
}

std::string header_reader::first_word(std::string_view name, std::size_t capacity) const {
    std::vector<std::string> first = words(name, capacity, 1);
    return first.empty() ? std::string() : std::move(first.front());
}

std::optional<std::string_view> header_reader::piece_starting(std::string_view name) const {
    const std::size_t piece_size = message_line_capacity - 1;
    for (std::size_t pos = 0; pos < text_.size();) {
        std::string_view rest = std::string_view(text_).substr(pos, piece_size);
        std::size_t line_feed = rest.find('\n');
        std::string_view piece = rest.substr(0, line_feed == npos ? npos : line_feed + 1);
        if (is_field_line(piece, name)) return piece;
        pos += piece.size();
    }
    return std::nullopt;
}

bool header_reader::address(std::string_view field, int index, std::string& address, std::size_t address_capacity,
                            std::string& name, std::size_t name_capacity) const {
    return get_header_text_address(text_, field, index, address, address_capacity, name, name_capacity);
}

}  // namespace qm
