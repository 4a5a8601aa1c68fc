#include "message/mime_reader.h"

#include <functional>

#include <optional>
#include <string>
#include <vector>

#include "message/header_fields.h"
#include "message/message_lines.h"
#include "message/part_file.h"
#include "message/stored_part.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/tree_operations.h"
#include "text/encoded_words.h"
#include "base/find_nocase.h"

namespace qm {

namespace {

bool is_content_line(std::string_view line) { return starts_with_nocase(line, "Content-"); }
bool is_content_type_line(std::string_view line) { return starts_with_nocase(line, "Content-Type"); }
bool is_encoding_line(std::string_view line) { return starts_with_nocase(line, "Content-Transfer-Encoding"); }

std::string decoded_header_line(std::string_view line) {
    std::string decoded(line);
    decode_header_line(decoded);
    neutralize_ctrl_z(decoded);
    return decoded;
}

// The line that starts at `pos`, with its line feed.
std::string_view line_at(std::string_view text, std::size_t pos) {
    std::size_t end = text.find('\n', pos);
    return text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos + 1);
}

enum class delimiter { none, next, last };

// Whether the line is a delimiter line of `boundary` (given with its "--"):
// the boundary, "--" after it on the last one, then nothing but blanks.
delimiter delimiter_of(std::string_view line, std::string_view boundary) {
    if (!line.starts_with(boundary)) return delimiter::none;
    std::string_view rest = without_line_feed(line.substr(boundary.size()));
    bool last = rest.starts_with("--");
    if (last) rest.remove_prefix(2);
    if (rest.find_first_not_of(" \t\r") != std::string_view::npos) return delimiter::none;
    return last ? delimiter::last : delimiter::next;
}

// Part header lines with their Content- fields joined, as the unfolding of
// a download file joins them in the headers it reaches (one blank where a
// fold was).
std::vector<std::string> with_content_fields_unfolded(const std::vector<std::string_view>& lines) {
    std::vector<std::string> header;
    header.reserve(lines.size());
    bool joining = false;
    for (std::string_view line : lines) {
        if (joining && is_continuation_line(line)) {
            std::string& field = header.back();
            if (field.ends_with('\n')) field.pop_back();
            field += ' ';
            field += line.substr(skip_chars(line, 0, " \t"));
            continue;
        }
        joining = is_content_line(line);
        header.emplace_back(line);
    }
    return header;
}

// The delimiter of a part whose type is multipart, from its Content-Type
// line; empty for any other part.
std::string multipart_delimiter(const std::vector<std::string>& header) {
    std::optional<std::string> type = part_header_value(header, "Content-Type", content_type_capacity, "");
    if (!type || !starts_with_nocase(*type, "multipart/")) return {};
    for (const std::string& line : header) {
        if (is_content_type_line(line)) return boundary_delimiter(line);
    }
    return {};
}

// Walks the parts of a multipart body, and of the multiparts inside it, and
// collects the leaves in order.
class leaf_walker {
public:
    explicit leaf_walker(std::string_view text) : text_(text) {}

    // Walks the body of a multipart with the delimiter `boundary` that starts
    // at `pos`, `depth` levels below the message; returns where the walk
    // stopped: at the end, or at a delimiter line of an enclosing multipart.
    std::size_t walk(std::size_t pos, const std::string& boundary, int depth) {
        boundaries_.push_back(boundary);
        pos = skip_to_delimiter(pos);  // the preamble
        while (pos < text_.size()) {
            std::string_view line = line_at(text_, pos);
            delimiter kind = delimiter_of(line, boundary);
            // An enclosing multipart goes on: this one ended without its
            // last delimiter.
            if (kind == delimiter::none) break;
            pos += line.size();
            if (kind == delimiter::last) {
                boundaries_.pop_back();
                return skip_to_delimiter(pos);  // the epilogue
            }
            pos = read_part(pos, depth);
        }
        boundaries_.pop_back();
        return pos;
    }

    std::vector<part_source>& leaves() { return leaves_; }

private:
    // A part ends at a delimiter line of its own multipart or of any that
    // encloses it.
    bool is_delimiter(std::string_view line) const {
        if (!line.starts_with("--")) return false;
        for (const std::string& boundary : boundaries_) {
            if (delimiter_of(line, boundary) != delimiter::none) return true;
        }
        return false;
    }

    std::size_t skip_to_delimiter(std::size_t pos) const {
        while (pos < text_.size()) {
            std::string_view line = line_at(text_, pos);
            if (is_delimiter(line)) break;
            pos += line.size();
        }
        return pos;
    }

    std::size_t read_part(std::size_t pos, int depth) {
        std::vector<std::string_view> lines;
        bool blank = false;
        while (pos < text_.size()) {
            std::string_view line = line_at(text_, pos);
            if (is_delimiter(line)) break;
            pos += line.size();
            if (is_blank_line(line)) {
                blank = true;
                break;
            }
            lines.push_back(line);
        }
        std::vector<std::string> header = with_content_fields_unfolded(lines);
        if (blank && depth + 1 < multipart_depth_limit) {
            std::string inner = multipart_delimiter(header);
            if (!inner.empty()) return walk(pos, inner, depth + 1);
        }
        std::size_t body_start = pos;
        pos = skip_to_delimiter(pos);
        leaves_.push_back({std::move(header), blank, text_.substr(body_start, pos - body_start), true});
        return pos;
    }

    std::string_view text_;
    std::vector<std::string> boundaries_;  // of the multiparts being walked, outermost first
    std::vector<part_source> leaves_;
};

// The empty text part that stands before the HTML of a text/html-only
// message, or before attached text files when a message has no text.
part_source empty_text_part() {
    part_source part;
    part.header = {"Content-Type: text/plain; charset=ISO-2022-JP\n", "Content-Transfer-Encoding: 7bit\n"};
    part.has_blank_line = true;
    return part;
}

bool is_plain_text(const part_kind& kind) { return equals_nocase(kind.type, "text/plain"); }

part_role role_of(const part_kind& kind) {
    if (kind.attachment || !starts_with_nocase(kind.type, "text/")) return part_role::kept;
    return is_plain_text(kind) ? part_role::text : part_role::readable;
}

// One file of the message directory to be written.
struct part_plan {
    part_source source;
    part_role role;
};

// The leaves of a multipart message in the order their files take. The
// first text/plain part is what every reader of the store takes for the
// message's text; an attached text file must not stand before the text.
std::vector<part_plan> plan_leaves(std::vector<part_source> leaves) {
    std::vector<part_kind> kinds;
    kinds.reserve(leaves.size());
    for (const part_source& leaf : leaves) kinds.push_back(kind_of(leaf));
    std::size_t text = 0;
    while (text < leaves.size() && !(is_plain_text(kinds[text]) && !kinds[text].attachment)) ++text;
    bool attached_text_first = false;
    for (std::size_t i = 0; i < text; ++i) attached_text_first = attached_text_first || is_plain_text(kinds[i]);

    std::vector<part_plan> plan;
    plan.reserve(leaves.size() + 1);
    if (attached_text_first) {
        if (text < leaves.size()) plan.push_back({std::move(leaves[text]), part_role::text});
        else plan.push_back({empty_text_part(), part_role::text});
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (attached_text_first && i == text) continue;
        plan.push_back({std::move(leaves[i]), role_of(kinds[i])});
    }
    return plan;
}

// What the files of a message directory are to hold: the header "0", the
// parts "1", "2" ... in their roles, and for a message without a body its
// Content- lines in the file after the parts (which the last part number
// does not count).
struct message_plan {
    std::string header;
    std::vector<part_plan> parts;
    std::optional<std::string> leftover;
    int last_part = 0;
};

// Plans the files of one message held in memory.
class message_planner {
public:
    message_plan plan(std::string_view text) {
        message_plan result;
        std::size_t pos = read_top_header(text);
        std::vector<std::string> content;
        bool html = sort_top_header(result.header, content);

        if (multipart_) {
            leaf_walker walker(text);
            walker.walk(pos, boundary_, 0);
            std::vector<part_source>& leaves = walker.leaves();
            // The top header's other Content- lines go to the first part,
            // as they did when only one level was split.
            if (leaves.empty()) {
                result.leftover = joined_lines(content);
                return result;
            }
            leaves.front().header.insert(leaves.front().header.begin(), content.begin(), content.end());
            result.parts = plan_leaves(std::move(leaves));
            result.last_part = static_cast<int>(result.parts.size());
            return result;
        }

        if (html) result.parts.push_back({empty_text_part(), part_role::text});
        if (!body_found_) {
            // No body: the Content- lines stay as they came.
            result.leftover = joined_lines(content);
            return result;
        }
        part_source body{std::move(content), true, text.substr(pos), false};
        part_kind kind = kind_of(body);
        // The one body is the message's text whatever it is called.
        kind.attachment = false;
        result.parts.push_back({std::move(body), role_of(kind)});
        result.last_part = static_cast<int>(result.parts.size());
        return result;
    }

private:
    // Reads the top-level header up to its blank line, or up to the first
    // delimiter line of a multipart message that has none; returns where the
    // body starts. The Content-Type line that names the boundary is dropped.
    std::size_t read_top_header(std::string_view text) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::string_view line = line_at(text, pos);
            if (is_content_type_line(line) && find_nocase(line, "boundary=") != std::string_view::npos) {
                std::string delimiter = boundary_delimiter(line);
                if (multipart_ || !delimiter.empty()) {
                    if (!multipart_) boundary_ = std::move(delimiter);
                    multipart_ = true;
                    pos += line.size();
                    continue;
                }
            }
            if (is_blank_line(line)) {
                body_found_ = true;
                return pos + line.size();
            }
            if (multipart_ && delimiter_of(line, boundary_) != delimiter::none) return pos;
            top_lines_.push_back(line);
            pos += line.size();
        }
        return pos;
    }

    // The top-level header's lines: its Content- lines describe the body (a
    // single part, or the first part of a multipart); the others, decoded,
    // are the header file. In a multipart message no transfer encoding of
    // the whole reaches a part. Whether the body is HTML.
    bool sort_top_header(std::string& header, std::vector<std::string>& content) const {
        bool html = false;
        for (std::string_view line : top_lines_) {
            bool ordinary = !is_content_line(line) ||
                            (is_encoding_line(line) && (multipart_ || find_nocase(line, "binary") != std::string::npos));
            if (ordinary) {
                header += decoded_header_line(line);
                continue;
            }
            if (is_content_type_line(line) && find_nocase(line, "text/html", 13) != std::string::npos) html = true;
            content.emplace_back(line);
        }
        return html && !multipart_;
    }

    bool multipart_ = false;
    bool body_found_ = false;
    std::string boundary_;
    std::vector<std::string_view> top_lines_;
};

}  // namespace

int split_message_files(std::string_view text, const std::function<bool(std::size_t, std::string&)>& take) {
    message_plan plan = message_planner().plan(text);
    std::size_t n = 0;
    if (!take(n++, plan.header)) return -1;
    for (const part_plan& part : plan.parts) {
        std::string file = stored_part(part.source, part.role);
        if (!take(n++, file)) return -1;
    }
    if (plan.leftover && !take(n, *plan.leftover)) return -1;
    return plan.last_part;
}

split_files split_message_text(std::string_view text) {
    split_files split;
    split.last_part = split_message_files(text, [&](std::size_t, std::string& file) {
        split.files.push_back(std::move(file));
        return true;
    });
    return split;
}

std::optional<std::string> text_part_unicode(std::string_view text, int part) {
    message_plan plan = message_planner().plan(text);
    if (part < 1 || static_cast<std::size_t>(part) > plan.parts.size()) return std::nullopt;
    const part_plan& planned = plan.parts[static_cast<std::size_t>(part) - 1];
    if (planned.role != part_role::text) return std::nullopt;
    return stored_text_unicode(planned.source);
}

}  // namespace qm
