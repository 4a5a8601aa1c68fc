// libFuzzer over profile and list files as they lie on disk: a value or an
// item the writer accepts reads back exactly, a refused or failed write
// (a directory in the way of its companion) leaves the file byte for byte
// as it was, and the readers of one file agree.

#include <algorithm>
#include <vector>

#include "fuzz_support.h"
#include "config/list_file.h"
#include "config/profile.h"
#include "config/profile_file.h"
#include "platform/companion_file.h"
#include "platform/cp932.h"

using fuzz::contents;

namespace {

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    for (std::size_t start = 0, end;; start = end + 1) {
        end = std::min(text.find(separator, start), text.size());
        parts.emplace_back(text.substr(start, end - start));
        if (end == text.size()) return parts;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = fuzz::scratch();
    // The file's text, then a section (an item name), a key and a value (an item's text), after zero bytes.
    std::vector<std::string> parts = split(std::string_view(reinterpret_cast<const char*>(data), size), '\0');
    parts.resize(std::max<std::size_t>(parts.size(), 4));
    const std::string &section = parts[1], &key = parts[2], &value = parts[3];
    // Names are the program's text, CP932; a value may hold any byte.
    if (!qm::cp932_to_utf8(section) || !qm::cp932_to_utf8(key)) return 0;
    const unsigned seed = size > 0 ? data[size - 1] : 0;
    const std::string profile = scratch + "p.ini", list = scratch + "l.lst";
    for (const std::string& path : {profile, list}) {
        std::filesystem::remove(path);
        if (seed % 8 != 0) std::ofstream(path, std::ios::binary) << parts[0];
        // A directory in the way of the file's companion makes every rewrite fail.
        std::filesystem::remove(qm::companion_path(path));
        if (seed & 4) std::filesystem::create_directory(qm::companion_path(path));
    }

    const qm::profile_snapshot snapshot(profile);
    CHECK(snapshot.read_string(section, key, "-", seed) == qm::profile_read_string(profile, section, key, "-", seed));
    CHECK(snapshot.read_int(section, key, 7) == qm::profile_read_int(profile, section, key, 7));
    CHECK(snapshot.read_bool(section, key, true) == qm::profile_read_bool(profile, section, key, true));

    std::string before = contents(profile), stored;
    if (qm::profile_set_string(profile, section, key, value, seed & 1))
        CHECK(qm::profile_find_value(profile, section, key, stored) && stored == value);
    else
        CHECK(contents(profile) == before);

    before = contents(list);
    const int count = std::max(qm::list_count(list), 0), index = static_cast<int>(seed % 4) - 1;
    if (!qm::list_insert(list, index, section, value)) {
        CHECK(contents(list) == before);
    } else if (qm::list_name_storable(section)) {
        CHECK(qm::list_count(list) == count + 1);
        const int at = index < 0 || index > count ? count : index;
        std::string line;
        CHECK(qm::list_name_at(list, at, line, qm::list_piece_capacity) && line == section);
        std::vector<std::string> lines = value.empty() ? std::vector<std::string>() : split(value, '\n');
        for (std::size_t i = 0; qm::list_index_of(list, section) == at && i < lines.size(); ++i) {
            if (lines[i].size() + 1 >= qm::list_piece_capacity) break;  // read back in pieces
            CHECK(qm::list_text_line(list, section, static_cast<int>(i), line) && line == lines[i]);
        }
    }
    return 0;
}
