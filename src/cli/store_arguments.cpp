#include "cli/store_arguments.h"

#include <cstdio>
#include <limits>

#include "cli/cli_support.h"
#include "cli/terminal_reporter.h"
#include "config/folder_names.h"
#include "config/settings.h"
#include "platform/cp932.h"
#include "platform/file_operations.h"
#include "store/mailbox_layout.h"
#include "base/multibyte.h"

namespace qm::cli {

namespace {

bool valid_folder(std::string_view folder) {
    if (folder.empty()) return false;
    std::size_t start = 0;
    while (start < folder.size()) {
        std::size_t slash = mbs_find_char(folder, '/', start);
        if (slash == std::string_view::npos) slash = folder.size();
        if (!is_listed_folder_name(folder.substr(start, slash - start))) return false;
        start = slash + 1;
    }
    return true;
}

std::string utf8_text(std::string_view cp932) {
    if (auto utf8 = cp932_to_utf8(cp932)) return *utf8;
    std::string shown;
    for (std::size_t pos = 0; pos < cp932.size();) {
        std::size_t length = char_length(cp932, pos);
        auto one = cp932_to_utf8(cp932.substr(pos, length));
        shown += one ? *one : "?";
        pos += length;
    }
    return shown;
}

}  // namespace

bool take_folder(const char* argument, std::string& folder, std::string& problem) {
    std::string relative;
    if (!take_text(argument, "the folder name", relative, problem)) return false;
    while (!relative.empty() && relative.back() == '/') relative.pop_back();
    if (!valid_folder(relative)) {
        problem = "\"" + std::string(argument) + "\" is not a folder below the mailbox root";
        return false;
    }
    folder = relative + "/";
    return true;
}

bool take_number(const char* argument, const char* what, int& number, std::string& problem) {
    std::string_view digits = argument;
    long long value = 0;
    bool ok = !digits.empty() && digits.size() <= 9;
    for (char c : digits) {
        ok = ok && c >= '0' && c <= '9';
        value = value * 10 + (c - '0');
    }
    if (!ok || value > std::numeric_limits<int>::max()) {
        problem = std::string(what) + " \"" + std::string(digits) + "\" is not a number";
        return false;
    }
    number = static_cast<int>(value);
    return true;
}

bool take_message(const std::vector<const char*>& operands, message_argument& message, std::string& problem) {
    if (operands.size() < 2) {
        problem = operands.empty() ? "no folder given" : "no message number given";
        return false;
    }
    return take_folder(operands[0], message.folder, problem) &&
           take_number(operands[1], "the message number", message.number, problem);
}

bool find_message(message_argument& message, const command_voice& voice) {
    const std::string mailbox = mailbox_root();
    message.directory = message_directory(mailbox + message.folder, message.number);
    if (directory_exists(message.directory)) return true;
    voice.complain("there is no message " + std::to_string(message.number) + " in the folder " +
                   terminal_text(message.folder) + " of the mailbox " + terminal_text(mailbox));
    return false;
}

std::optional<message_argument> message_of_command(int argc, char** argv, const command_voice& voice, int& status) {
    std::vector<const char*> operands;
    std::string problem;
    status = 2;
    for (argument_reader reader(argc, argv); reader.next();) {
        if (reader.unknown(problem)) {
            voice.usage_error(problem);
            return std::nullopt;
        }
        operands.push_back(reader.current());
    }
    message_argument message;
    if (operands.size() > 2) problem = "more than a folder and a message number given";
    if (!take_message(operands, message, problem) || operands.size() > 2) {
        voice.usage_error(problem);
        return std::nullopt;
    }
    status = 1;
    if (!prepare_context() || !find_message(message, voice)) return std::nullopt;
    status = 0;
    return message;
}

std::string terminal_row(const std::vector<std::string>& fields) { return utf8_text(cp932_row(fields)) + "\n"; }

std::string cp932_row(std::span<const std::string> fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line.push_back('\t');
        for (char c : fields[i]) line.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
    }
    return line;
}

std::string terminal_rows(const std::vector<std::string>& rows) {
    std::string all;
    for (const std::string& row : rows) all.append(row).push_back('\n');
    // One conversion for the whole list; only when some row holds a
    // character without a UTF-8 form is each row converted on its own.
    if (std::optional<std::string> utf8 = cp932_to_utf8(all)) return *utf8;
    std::string shown;
    for (const std::string& row : rows) shown.append(utf8_text(row)).push_back('\n');
    return shown;
}

bool print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace qm::cli
