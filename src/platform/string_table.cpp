#include "platform/string_table.h"

#include <unordered_map>

#include "platform/cp932.h"
#include "platform/string_table_data.h"

namespace qm {

namespace {

std::unordered_map<int, std::string> build_table() {
    std::unordered_map<int, std::string> table;
    for (int i = 0; i < string_table_size; ++i) {
        const auto& entry = string_table_entries[i];
        // Every text of the table has a CP932 form; one that does not is a
        // mistake in the table and shows as "?" rather than as mojibake.
        table.emplace(entry.id, utf8_to_cp932(entry.text).value_or("?"));
    }
    return table;
}

}  // namespace

const std::string& load_string(int id) {
    static const std::unordered_map<int, std::string> table = build_table();
    static const std::string missing = "?";
    auto it = table.find(id);
    return it == table.end() ? missing : it->second;
}

}  // namespace qm
