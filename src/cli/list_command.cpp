#include "cli/list_command.h"

#include <cstdio>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/cli_support.h"
#include "cli/store_arguments.h"
#include "cli/terminal_reporter.h"
#include "config/layout.h"
#include "config/settings.h"
#include "platform/cp932.h"
#include "text/display_text.h"
#include "text/utf8_text.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/mail_list.h"

namespace qm::cli {

namespace {

const command_voice voice{"list", list_syntax};

// A list this long is printed from two threads.
constexpr std::size_t rows_worth_a_thread = 4000;

struct list_arguments {
    std::string folder;  // CP932, relative to the mailbox root, ending with "/"
    std::optional<int> sort_column;
    bool descending = false;
    std::string search;  // CP932
};

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
            if (!take_folder(reader.current(), arguments.folder, problem)) return false;
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

// A row whose subject or party lost characters in CP932 shows them as sent.
bool has_text_as_sent(const mail_row& row) { return !row.subject_as_sent.empty() || !row.party_as_sent.empty(); }

std::string row_as_sent(const mail_row& row) {
    std::string line;
    for (int column = 0; column < row_text_count; ++column) {
        const std::string& as_sent = column == column_subject ? row.subject_as_sent
                                     : column == column_party ? row.party_as_sent
                                                              : std::string();
        std::string field = as_sent.empty() ? display_utf8(row.text[column]) : as_sent;
        if (column > 0) line.push_back('\t');
        for (char c : field) line.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
    }
    return line;
}

// The rows as the terminal shows them, in UTF-8: converted in one go, the
// rows with characters beyond CP932 each on its own.
std::string list_text(std::span<const mail_row> rows) {
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (const mail_row& row : rows) lines.push_back(has_text_as_sent(row) ? std::string() : cp932_row(row.text));
    std::string all = terminal_rows(lines);
    bool any_as_sent = false;
    for (const mail_row& row : rows) any_as_sent = any_as_sent || has_text_as_sent(row);
    if (!any_as_sent) return all;
    std::string shown;
    shown.reserve(all.size());
    std::size_t pos = 0;
    for (const mail_row& row : rows) {
        std::size_t end = all.find('\n', pos);
        if (end == std::string::npos) end = all.size();
        if (has_text_as_sent(row)) shown += row_as_sent(row);
        else shown.append(all, pos, end - pos);
        shown.push_back('\n');
        pos = end + 1;
    }
    return shown;
}

// The whole list as printed. A long list is made in two halves side by
// side, one on a thread of its own: rows never span the halves, so the
// halves joined are the text the whole would give.
std::string printed_list(const std::vector<mail_row>& rows) {
    auto printed = [](std::span<const mail_row> part) { return with_visible_controls(list_text(part)); };
    const std::span<const mail_row> all(rows);
    if (rows.size() < rows_worth_a_thread) return printed(all);
    const std::size_t half = rows.size() / 2;
    std::string first;
    bool first_made = false;
    try {
        std::jthread helper([&] {
            try {
                first = printed(all.first(half));
                first_made = true;
            } catch (const std::bad_alloc&) {
                // made again below, on this thread
            }
        });
        std::string second = printed(all.subspan(half));
        helper.join();
        if (!first_made) first = printed(all.first(half));
        first.append(second);
        return first;
    } catch (const std::system_error&) {
        return printed(all);  // without a thread, in one go
    }
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

    if (!print(printed_list(rows))) {
        voice.complain("the list could not be written");
        return 1;
    }
    return 0;
}

}  // namespace qm::cli
