#include "cli/list_command.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_support.h"
#include "cli/terminal_reporter.h"
#include "config/folder_names.h"
#include "config/layout.h"
#include "config/settings.h"
#include "platform/cp932.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mail_list.h"
#include "base/multibyte.h"

namespace qm::cli {

namespace {

const command_voice voice{"list", list_syntax};

struct list_arguments {
    std::string folder;  // CP932, relative to the mailbox root, ending with "/"
    std::optional<int> sort_column;
    bool descending = false;
    std::string search;  // CP932
};

// A folder below the mailbox root: an account and any sub-folders, each a
// plain name (a name beginning with "." is a message, not a folder).
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

bool parse_arguments(int argc, char** argv, list_arguments& arguments, std::string& problem) {
    bool have_folder = false;
    for (argument_reader reader(argc, argv); reader.next();) {
        if (reader.is("--descending")) {
            arguments.descending = true;
        } else if (reader.is("--sort")) {
            const char* given = reader.value();
            std::string_view value = given ? given : "";
            if (value.size() != 1 || value[0] < '0' || value[0] >= '0' + visible_column_count) {
                problem = "--sort needs a column number from 0 to 5";
                return false;
            }
            arguments.sort_column = value[0] - '0';
        } else if (reader.is("--search")) {
            const char* given = reader.value();
            if (!given) {
                problem = "--search needs a text";
                return false;
            }
            auto search = utf8_to_cp932(given);
            if (!search) {
                problem = "the search text has no Shift_JIS form";
                return false;
            }
            arguments.search = *search;
        } else if (reader.unknown(problem)) {
            return false;
        } else if (have_folder) {
            problem = "more than one folder given";
            return false;
        } else {
            std::string relative;
            if (!take_text(reader.current(), "the folder name", relative, problem)) return false;
            while (!relative.empty() && relative.back() == '/') relative.pop_back();
            if (!valid_folder(relative)) {
                problem = "\"" + std::string(reader.current()) + "\" is not a folder below the mailbox root";
                return false;
            }
            arguments.folder = relative + "/";
            have_folder = true;
        }
    }
    if (!have_folder) {
        problem = "no folder given";
        return false;
    }
    return true;
}

// The window's sort order, as the layout keeps it between runs.
sort_state read_layout_sort() {
    Layout layout;
    load_layout(layout);
    sort_state state;
    state.column = layout.sort_column >= 0 && layout.sort_column < visible_column_count ? layout.sort_column : column_date;
    state.descending = layout.sort_descending;
    return state;
}

// A character without a UTF-8 form shows as "?"; the rest of the text stays.
std::string utf8_line(std::string_view cp932) {
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

// TABs and line ends inside a text would break the line's columns. Neither
// byte can be the second byte of a double-byte character.
void append_field(std::string& line, std::string_view text) {
    for (char c : text) line.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
}

}  // namespace

int run_list(int argc, char** argv) {
    list_arguments arguments;
    std::string problem;
    if (!parse_arguments(argc, argv, arguments, problem)) return voice.usage_error(problem);
    if (!prepare_context()) return 1;

    const std::string mailbox = mailbox_root();
    const std::string folder = mailbox + arguments.folder;
    if (!directory_exists(folder)) {
        voice.complain("no folder " + terminal_text(arguments.folder) + " in the mailbox " + terminal_text(mailbox));
        return 1;
    }
    const std::string account_root = mailbox + arguments.folder.substr(0, arguments.folder.find('/') + 1);

    sort_state state = read_layout_sort();
    if (arguments.sort_column) state.column = *arguments.sort_column;
    if (arguments.descending) state.descending = true;

    std::vector<mail_row> rows = build_mail_list(folder, account_root, arguments.search);
    sort_mail_list(rows, state);

    std::string line;
    for (const mail_row& row : rows) {
        line.clear();
        for (int column = 0; column < row_text_count; ++column) {
            if (column > 0) line.push_back('\t');
            append_field(line, row.text[column]);
        }
        std::string shown = utf8_line(line);
        shown.push_back('\n');
        std::fwrite(shown.data(), 1, shown.size(), stdout);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        voice.complain("the list could not be written");
        return 1;
    }
    return 0;
}

}  // namespace qm::cli
