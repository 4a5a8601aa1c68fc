#include "store/arrange_rules.h"

#include <algorithm>
#include <cstddef>

#include "config/list_file.h"
#include "message/header_reader.h"
#include "platform/directory_walker.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "store/mailbox_layout.h"
#include "base/find_nocase.h"
#include "base/multibyte.h"

namespace qm {

namespace {

// A header file is matched in the pieces a 256-byte line buffer reads: each
// piece of a long line counts as a line of its own.
constexpr std::size_t header_piece_capacity = short_line_capacity;

std::string list_path(std::string_view folder) { return std::string(folder) + std::string(arrange_list_name); }

// The item names of a list file in file order, whole as they are stored.
std::vector<std::string> rule_texts_in(std::string_view list_file) {
    std::vector<std::string> texts;
    text_reader reader(list_file);
    std::string piece;
    while (reader.is_open() && reader.read_piece(piece, list_piece_capacity)) {
        if (piece.empty() || piece.front() != '\t') continue;
        std::string_view name(piece);
        name.remove_prefix(1);
        if (!name.empty() && name.back() == '\n') name.remove_suffix(1);
        texts.emplace_back(name);
    }
    return texts;
}

// One rule of a run, with the folder it leads to.
struct collected_rule {
    std::size_t destination;  // index into rule_set::folders
    arrange_rule rule;
};

// Every rule below a root in the order a run tries them.
struct rule_set {
    std::vector<std::string> folders;
    std::vector<collected_rule> rules;
};

// The entries of a directory in byte order of their names, without "." and
// "..": the order of the rules must not depend on how the file system
// happens to list them.
std::vector<dir_entry> sorted_entries(std::string_view directory) {
    std::vector<dir_entry> entries;
    directory_walker walker(directory);
    dir_entry entry;
    while (walker.next(entry)) {
        if (entry.name != "." && entry.name != "..") entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const dir_entry& a, const dir_entry& b) { return a.name < b.name; });
    return entries;
}

void collect_rules(const std::string& directory, rule_set& set) {
    for (const dir_entry& entry : sorted_entries(directory)) {
        if (entry.directory) {
            // Message directories begin with "."; a linked directory could
            // lead back up the tree and is not followed.
            if (entry.name.front() != '.' && !entry.symlink) collect_rules(directory + entry.name + "/", set);
        } else if (entry.name == arrange_list_name) {
            std::size_t destination = set.folders.size();
            set.folders.push_back(directory);
            for (const std::string& text : rule_texts_in(list_path(directory)))
                set.rules.push_back({destination, parse_rule_text(text)});
        }
    }
}

// The folder's messages in the order of their numbers, so that messages
// keep their order wherever they go.
std::vector<std::string> message_names(std::string_view folder) {
    std::vector<std::pair<int, std::string>> numbered;
    for (dir_entry& entry : sorted_entries(folder)) {
        if (!entry.directory || entry.symlink) continue;
        if (std::optional<int> number = message_number_of(entry.name)) numbered.emplace_back(*number, std::move(entry.name));
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<std::string> names;
    for (auto& [number, name] : numbered) names.push_back(std::move(name));
    return names;
}

// A header line matches when it begins with the header name (ASCII case
// ignored) and the keyword occurs after the name and the colon that follows
// it (case kept).
bool line_matches(std::string_view line, const arrange_rule& rule) {
    if (!is_field_line(line, rule.header)) return false;
    std::size_t skip = rule.header.size() + 1;
    std::string_view rest = line.size() > skip ? line.substr(skip) : std::string_view();
    return mbs_find(rest, rule.keyword) != std::string_view::npos;
}

bool header_matches(const std::vector<std::string>& lines, const arrange_rule& rule) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line_matches(line, rule); });
}

// The message's header file as the pieces it is matched in; false when it
// cannot be read (no rule matches such a message).
bool read_header_lines(const std::string& header_path, std::vector<std::string>& lines) {
    lines.clear();
    text_reader reader(header_path);
    if (!reader.is_open()) return false;
    std::string piece;
    while (reader.read_piece(piece, header_piece_capacity)) lines.push_back(piece);
    return true;
}

void move_message(const std::string& source, const std::string& destination, message_numbering& numbering,
                  reporter& report) {
    // A failed move leaves the message where it was.
    if (move_message_directory(source, destination, &numbering) < 0) report.error(str::file_error);
}

}  // namespace

std::string rule_text(std::string_view header, std::string_view keyword) {
    std::string text(header);
    text.push_back(':');
    text.append(keyword);
    return text;
}

arrange_rule parse_rule_text(std::string_view text) {
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return {std::string(text), {}};
    return {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

bool rule_storable(std::string_view header, std::string_view keyword) {
    return list_name_storable(rule_text(header, keyword));
}

std::vector<arrange_rule> list_rules(std::string_view folder) {
    std::vector<arrange_rule> rules;
    for (const std::string& text : rule_texts_in(list_path(folder))) rules.push_back(parse_rule_text(text));
    return rules;
}

bool rule_exists(std::string_view folder, std::string_view header, std::string_view keyword) {
    return list_has(list_path(folder), rule_text(header, keyword));
}

bool add_rule(std::string_view folder, std::string_view header, std::string_view keyword) {
    std::string path = list_path(folder);
    std::string text = rule_text(header, keyword);
    if (list_has(path, text)) return true;
    // A missing list gives -1, which puts the first rule at the end.
    return list_insert(path, list_insert_index(path, text), text, "");
}

bool delete_rule(std::string_view folder, std::string_view header, std::string_view keyword) {
    std::string path = list_path(folder);
    if (!list_delete_named(path, rule_text(header, keyword))) return false;
    // The rule is gone even when an emptied list cannot be removed; an empty
    // list holds no rule, so that is no failure of the delete.
    if (list_count(path) == 0) delete_file(path);
    return true;
}

bool replace_rule(std::string_view folder, std::string_view old_header, std::string_view old_keyword,
                  std::string_view new_header, std::string_view new_keyword) {
    if (!rule_exists(folder, old_header, old_keyword)) return false;
    if (rule_text(old_header, old_keyword) == rule_text(new_header, new_keyword)) return true;
    return add_rule(folder, new_header, new_keyword) && delete_rule(folder, old_header, old_keyword);
}

void arrange_run(std::string_view folder, std::string_view rule_root, reporter& report) {
    rule_set set;
    collect_rules(std::string(rule_root), set);
    // Mail in the outbox goes out with the next send: no rule brings any there.
    const std::string outbox = special_folder_in(rule_root, special_folder::outbox);
    std::erase_if(set.rules, [&](const collected_rule& rule) { return set.folders[rule.destination] == outbox; });
    if (set.rules.empty()) return;

    // The folder is listed once before anything moves, so that a message
    // moved to a new number in the same folder is not met again.
    const std::string folder_path(folder);
    std::vector<std::string> lines;
    message_numbering numbering;
    for (const std::string& name : message_names(folder_path)) {
        std::string message = folder_path + name + "/";
        if (!read_header_lines(part_file(message, 0), lines)) continue;
        for (const collected_rule& candidate : set.rules) {
            if (header_matches(lines, candidate.rule)) {
                // A rule of the folder itself says the message is where it belongs.
                if (set.folders[candidate.destination] != folder_path)
                    move_message(message, set.folders[candidate.destination], numbering, report);
                break;
            }
        }
    }
}

}  // namespace qm
