#include "cli/cli_support.h"

#include <cstdio>

#include "config/folder_names.h"
#include "platform/cp932.h"
#include "platform/program_context.h"

namespace qm::cli {

void command_voice::complain(const std::string& text) const {
    std::fprintf(stderr, "quillmere-cli %s: %s\n", name, text.c_str());
}

int command_voice::usage_error(const std::string& text) const {
    complain(text);
    std::fprintf(stderr, "Usage: quillmere-cli %s\n", syntax);
    return 2;
}

bool argument_reader::next() {
    while (++index_ < argc_) {
        if (options_ended_ || std::string_view(argv_[index_]) != "--") return true;
        options_ended_ = true;
    }
    return false;
}

bool argument_reader::is_option() const {
    std::string_view argument = current();
    return !options_ended_ && argument.size() > 1 && argument.front() == '-';
}

bool argument_reader::unknown(std::string& problem) const {
    if (!is_option()) return false;
    problem = unknown_option(current());
    return true;
}

std::string unknown_option(std::string_view argument) { return "unknown option \"" + std::string(argument) + "\""; }

bool take_text(const char* argument, const char* what, std::string& value, std::string& problem) {
    auto converted = utf8_to_cp932(argument);
    if (!converted) {
        problem = std::string(what) + " \"" + argument + "\" has no Shift_JIS form";
        return false;
    }
    value = *converted;
    return true;
}

bool take_account(const char* argument, std::string& account, std::string& problem) {
    auto converted = utf8_to_cp932(argument);
    if (!converted || !is_valid_account_title(*converted)) {
        problem = "\"" + std::string(argument) + "\" is not a valid account name";
        return false;
    }
    account = *converted;
    return true;
}

bool prepare_context() {
    switch (init_context()) {
        case context_result::ok: return true;
        case context_result::no_data_directory:
            std::fputs("quillmere-cli: the data directory cannot be found or made (see QUILLMERE_HOME)\n", stderr);
            return false;
        case context_result::no_temporary_directory:
            std::fputs("quillmere-cli: no safe temporary directory (see TMPDIR)\n", stderr);
            return false;
    }
    return false;
}

bool store_session::begin() {
    if (!prepare_context()) return false;
    switch (session_.begin()) {
        case session_start::ok: return true;
        case session_start::already_running:
            std::fputs("quillmere-cli: Quillmere is running (the window, or another quillmere-cli command); "
                       "nothing was changed. Close it and try again.\n",
                       stderr);
            return false;
        case session_start::system_error:
            std::fputs("quillmere-cli: the single-instance lock cannot be taken (see XDG_RUNTIME_DIR)\n", stderr);
            return false;
        case session_start::file_error:
            std::fputs("quillmere-cli: the work directory cannot be made\n", stderr);
            return false;
    }
    return false;
}

}  // namespace qm::cli
