#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The values every part of the program reads: set once at start-up and only
// read afterwards. CP932 paths ending with "/".
struct program_context {
    std::string program_directory;     // the data directory: settings, lists, default mailbox
    std::string temporary_directory;   // viewer copies and other short-lived files
    std::string work_directory;        // data directory + "work/"
    std::string executable_directory;  // where the bundled programs lie
};

enum class context_result { ok, no_data_directory, no_temporary_directory };

// Finds the directories from the environment and makes them the context.
// When the temporary directory is the data directory, its private
// sub-directory "quillmere-<uid>/" is used as the temporary directory.
context_result init_context();

// Sets the context directly (tests, tools).
void set_context(program_context context);

const program_context& context();

// A new empty file in the temporary directory from a template with a run of
// "$" ("qlm_$$$$.TXT"); nullopt when no name can be made.
std::optional<std::string> unique_temporary_file(std::string_view name_template);

}  // namespace qm
