#include "cli/cli_support.h"

#include <cstdio>

#include "config/profile.h"
#include "platform/cp932.h"
#include "platform/program_context.h"
#include "text/multibyte.h"

namespace qm::cli {

namespace {

// The mailbox setting is read as the options dialog stores it: 255 bytes.
constexpr std::size_t mailbox_capacity = 256;

}  // namespace

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

bool valid_account_name(std::string_view name) {
    if (name.empty() || name.front() == '.') return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f || c == '/') return false;
    }
    return mbs_find_char(name, '\\') == std::string_view::npos;
}

bool take_account(const char* argument, bool (*valid)(std::string_view), std::string& account,
                  std::string& problem) {
    auto converted = utf8_to_cp932(argument);
    if (!converted || !valid(*converted)) {
        problem = "\"" + std::string(argument) + "\" is not a valid account name";
        return false;
    }
    account = *converted;
    return true;
}

std::string mailbox_root() {
    const std::string& data = context().program_directory;
    std::string mailbox = backslashes_to_slashes(
        profile_read_string(data + "quillmere.ini", "string", "mailbox", data + "mailbox/", mailbox_capacity));
    if (mailbox.empty() || mailbox.back() != '/') mailbox.push_back('/');
    return mailbox;
}

}  // namespace qm::cli
