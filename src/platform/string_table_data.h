#pragma once

namespace qm {

struct string_table_entry {
    int id;
    const char* text;  // UTF-8
};

extern const string_table_entry string_table_entries[];
extern const int string_table_size;

}  // namespace qm
