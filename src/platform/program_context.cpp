#include "platform/program_context.h"

#include "platform/directories.h"
#include "platform/unique_file.h"

namespace qm {

namespace {
program_context& current() {
    static program_context instance;
    return instance;
}
}  // namespace

context_result init_context() {
    auto data = find_data_directory();
    if (!data) return context_result::no_data_directory;
    auto temporary = find_temporary_directory();
    // A file "quillmere.$$$" in the data directory would take the name that
    // rewriting "quillmere.ini" gives its companion: the program then keeps
    // its temporary files in its private sub-directory there instead.
    if (temporary && *temporary == *data) temporary = private_subdirectory(*temporary);
    if (!temporary) return context_result::no_temporary_directory;
    program_context fresh;
    fresh.program_directory = *data;
    fresh.temporary_directory = *temporary;
    fresh.work_directory = work_directory_in(*data);
    fresh.executable_directory = executable_directory().value_or(*data);
    set_context(std::move(fresh));
    return context_result::ok;
}

void set_context(program_context context) { current() = std::move(context); }

const program_context& context() { return current(); }

std::optional<std::string> unique_temporary_file(std::string_view name_template) {
    return create_unique_file(context().temporary_directory, name_template);
}

}  // namespace qm
