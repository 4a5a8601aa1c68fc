#include "net/uid_list.h"

#include <sys/stat.h>

#include <cerrno>
#include <map>

#include "net/connection.h"
#include "platform/companion_file.h"
#include "platform/cp932.h"
#include "platform/file_operations.h"
#include "platform/text_file.h"
#include "platform/work_directory.h"

namespace qm {

namespace {

// The directory part of a path ("" for a bare name).
std::string_view directory_of(std::string_view path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

// The list's lines in their order, each as compared; missing list: none.
bool read_list_lines(std::string_view path, std::vector<std::string>& lines, known_ids& known) {
    if (load_uid_list(path, known) != net_result::ok) return false;
    if (!known.present) return true;
    text_reader reader(path);
    std::string piece;
    while (reader.read_piece(piece, reply_line_capacity)) lines.push_back(comparable_id(piece));
    return !reader.failed();
}

// Adds the ids the list lacks; true when the list holds all of them.
bool add_to_list(const std::string& list_path, const std::vector<std::string>& ids) {
    std::vector<std::string> lines;
    known_ids known;
    if (!read_list_lines(list_path, lines, known)) return false;
    bool added = false;
    for (const std::string& id : ids) {
        if (known.contains(id)) continue;
        known.present = true;
        known.ids.insert(id);
        lines.push_back(id);
        added = true;
    }
    return !added || write_uid_list(list_path, lines);
}

}  // namespace

std::string uid_list_line(std::string_view text) {
    std::size_t cr = text.find('\r');
    if (cr == std::string_view::npos) return std::string(text);
    std::string line(text.substr(0, cr));
    line.push_back('\n');
    return line;
}

std::string comparable_id(std::string_view text) {
    std::string id = uid_list_line(text);
    if (!id.ends_with('\n')) id.push_back('\n');
    return id;
}

net_result load_uid_list(std::string_view path, known_ids& known) {
    text_reader reader;
    if (!reader.open(path)) {
        struct stat status;
        std::string disk = disk_path(path);
        if (disk.empty() || (::stat(disk.c_str(), &status) != 0 && errno == ENOENT)) return net_result::ok;
        return net_result::file_error;
    }
    known.present = true;
    std::string piece;
    while (reader.read_piece(piece, reply_line_capacity)) known.ids.insert(uid_list_line(piece));
    return reader.failed() ? net_result::file_error : net_result::ok;
}

bool write_uid_list(std::string_view path, const std::vector<std::string>& ids) {
    return rewrite_through_companion(path, [&ids](text_writer& out) {
        for (const std::string& id : ids) {
            if (!out.write(id)) return false;
        }
        return true;
    });
}

bool fold_received_ids(std::string_view work_directory) {
    const std::string work(work_directory);
    complete_noted_downloads(work);
    // The ids and the notes that hold them, by list.
    std::map<std::string, std::pair<std::vector<std::string>, std::vector<std::string>>> by_list;
    // Whether each list's directory exists, looked at once per list.
    std::map<std::string, bool, std::less<>> list_directories;
    auto has_directory = [&](std::string_view list_path) {
        std::string_view directory = directory_of(list_path);
        auto known = list_directories.find(directory);
        if (known == list_directories.end())
            known = list_directories.emplace(std::string(directory), directory_exists(directory)).first;
        return known->second;
    };
    for (const std::string& name : received_id_notes(work)) {
        std::vector<noted_id> entries;
        // A note that names no list, or no whole id, is one cut short before
        // a download took its name: that message is fetched again.
        if (!read_received_id_note(work + name, entries) || entries.empty() ||
            !has_directory(entries.front().list_path)) {
            delete_file(work + name);
            continue;
        }
        auto& [ids, notes] = by_list[entries.front().list_path];
        for (const noted_id& entry : entries) {
            std::string id = comparable_id(entry.id);
            if (id != "\n") ids.push_back(std::move(id));
        }
        notes.push_back(work + name);
    }
    bool ok = true;
    for (const auto& [list_path, entry] : by_list) {
        if (!add_to_list(list_path, entry.first)) {
            ok = false;
            continue;
        }
        for (const std::string& note : entry.second) delete_file(note);
    }
    return ok;
}

}  // namespace qm
