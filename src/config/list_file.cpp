#include "config/list_file.h"

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/text_file.h"

namespace qm {

namespace {

constexpr char item_mark = '\t';

// Reads a list file piece by piece.
class list_reader {
public:
    explicit list_reader(std::string_view path) : reader_(path) {}

    bool is_open() const { return reader_.is_open(); }
    bool failed() const { return reader_.failed(); }
    bool next() { return reader_.is_open() && reader_.read_piece(piece_, list_piece_capacity); }

    const std::string& piece() const { return piece_; }
    bool is_item() const { return !piece_.empty() && piece_.front() == item_mark; }
    // The piece without its line feed; for an item line, without the TAB.
    std::string_view line() const {
        std::string_view text(piece_);
        if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
        return text;
    }
    std::string_view name() const { return line().substr(1); }
    // Whether the piece ends its line: only the last piece of a file whose
    // last line has no line feed (or a piece of a longer line) does not.
    bool ends_line() const { return !piece_.empty() && piece_.back() == '\n'; }

    // Moves to the item line of that name; false at the end of the file.
    bool find_item(std::string_view name) {
        while (next()) {
            if (is_item() && this->name() == name) return true;
        }
        return false;
    }

private:
    text_reader reader_;
    std::string piece_;
};

std::string cut(std::string_view text, std::size_t capacity) {
    std::size_t limit = capacity == 0 ? 0 : capacity - 1;
    return std::string(text.substr(0, limit));
}

bool file_exists(std::string_view path) {
    std::string name = disk_path(path);
    struct stat status;
    return !name.empty() && ::stat(name.c_str(), &status) == 0;
}

// Whether some piece of the text, as it will be read back, begins with a TAB
// and so would be taken for an item line.
bool has_piece_starting_with_tab(std::string_view text) {
    constexpr std::size_t piece_length = list_piece_capacity - 1;
    std::size_t line_start = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] == '\n') {
            line_start = pos + 1;
        } else if (text[pos] == item_mark && (pos - line_start) % piece_length == 0) {
            return true;
        }
    }
    return false;
}

bool storable_item(std::string_view name, std::string_view text) {
    return list_name_storable(name) && text.find(ctrl_z) == std::string_view::npos && !has_piece_starting_with_tab(text);
}

// Rewrites the list file through its companion. `copy` reads the old file
// (not open when the file is missing) and writes the new contents.
bool rewrite_list(std::string_view path, bool allow_missing,
                  const std::function<bool(list_reader&, text_writer&)>& copy) {
    bool missing = !file_exists(path);
    if (missing && !allow_missing) return false;
    // A file that is its own companion would be truncated before it is read.
    if (companion_path(path) == path) return false;
    return rewrite_through_companion(path, [&](text_writer& writer) {
        list_reader source(missing ? std::string_view() : path);
        if (!missing && !source.is_open()) return false;
        return copy(source, writer) && !source.failed();
    });
}

// Copies every piece but those of the first item for which `chosen` is true.
bool delete_item(std::string_view path, const std::function<bool(int, std::string_view)>& chosen) {
    return rewrite_list(path, false, [&](list_reader& source, text_writer& writer) {
        int item = -1;
        bool skipping = false;
        bool deleted = false;
        bool ok = true;
        while (ok && source.next()) {
            if (source.is_item()) {
                ++item;
                skipping = !deleted && chosen(item, source.name());
                deleted = deleted || skipping;
            }
            if (!skipping) ok = writer.write(source.piece());
        }
        return ok && deleted;
    });
}

// Puts the destination back as it was before an append that failed.
void undo_append(const std::string& disk_name, bool existed, off_t old_size) {
    if (existed) {
        if (::truncate(disk_name.c_str(), old_size) != 0) return;
    } else {
        ::unlink(disk_name.c_str());
    }
}

}  // namespace

bool list_name_storable(std::string_view name) {
    return name.size() <= list_name_limit && name.find('\n') == std::string_view::npos &&
           name.find(ctrl_z) == std::string_view::npos;
}

int list_count(std::string_view path) {
    list_reader source(path);
    if (!source.is_open()) return -1;
    int count = 0;
    while (source.next()) {
        if (source.is_item()) ++count;
    }
    return source.failed() ? -1 : count;
}

bool list_has(std::string_view path, std::string_view name) {
    list_reader source(path);
    return source.find_item(name);
}

bool list_name_at(std::string_view path, int index, std::string& name, std::size_t capacity) {
    if (index < 0) return false;
    list_reader source(path);
    int item = 0;
    while (source.next()) {
        if (source.is_item() && item++ == index) {
            name = cut(source.name(), capacity);
            return true;
        }
    }
    return false;
}

int list_index_of(std::string_view path, std::string_view name) {
    list_reader source(path);
    int index = 0;
    while (source.next()) {
        if (!source.is_item()) continue;
        if (source.name() == name) return index;
        ++index;
    }
    return -1;
}

int list_insert_index(std::string_view path, std::string_view name) {
    list_reader source(path);
    if (!source.is_open()) return -1;
    int before = 0;
    while (source.next()) {
        if (!source.is_item()) continue;
        if (source.name() > name) return before;
        ++before;
    }
    return source.failed() ? -1 : before;
}

bool list_text_line(std::string_view path, std::string_view name, int line_index, std::string& line,
                    std::size_t capacity) {
    if (line_index < 0) return false;
    list_reader source(path);
    if (!source.find_item(name)) return false;
    for (int index = 0; source.next() && !source.is_item(); ++index) {
        if (index == line_index) {
            line = cut(source.line(), capacity);
            return true;
        }
    }
    return false;
}

bool list_append_text(std::string_view path, std::string_view name, std::string_view destination) {
    list_reader source(path);
    if (!source.find_item(name)) return false;
    std::string disk_name = disk_path(destination);
    struct stat status;
    bool existed = !disk_name.empty() && ::stat(disk_name.c_str(), &status) == 0;
    off_t old_size = existed ? status.st_size : 0;
    text_writer writer;
    bool ok = writer.open(destination, true);
    bool line_open = false;
    while (ok && source.next() && !source.is_item()) {
        ok = writer.write(source.piece());
        line_open = !source.ends_line();
    }
    // Every text line is appended whole, also the file's last one.
    if (ok && line_open) ok = writer.write("\n");
    ok = ok && !source.failed();
    ok = writer.close() && ok;
    if (!ok && !disk_name.empty()) undo_append(disk_name, existed, old_size);
    return ok;
}

bool list_insert(std::string_view path, int index, std::string_view name, std::string_view text) {
    if (!storable_item(name, text)) return false;
    std::string item(1, item_mark);
    item.append(name).push_back('\n');
    if (!text.empty()) item.append(text).push_back('\n');
    return rewrite_list(path, true, [&](list_reader& source, text_writer& writer) {
        int position = 0;
        bool inserted = false;
        bool line_open = false;
        bool ok = true;
        while (ok && source.next()) {
            if (source.is_item()) {
                if (!inserted && position == index) {
                    ok = writer.write(item);
                    inserted = true;
                }
                ++position;
            }
            ok = ok && writer.write(source.piece());
            line_open = !source.ends_line();
        }
        // A last line without its line feed gets one: the new item line would
        // be glued onto it and read back as text of the item before.
        if (ok && !inserted) ok = (!line_open || writer.write("\n")) && writer.write(item);
        return ok;
    });
}

bool list_delete_at(std::string_view path, int index) {
    if (index < 0) return false;
    return delete_item(path, [index](int item, std::string_view) { return item == index; });
}

bool list_delete_named(std::string_view path, std::string_view name) {
    return delete_item(path, [name](int, std::string_view item_name) { return item_name == name; });
}

}  // namespace qm
