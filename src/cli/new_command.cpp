#include "cli/new_command.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/multibyte.h"
#include "cli/cli_support.h"
#include "cli/terminal_reporter.h"
#include "store/accounts.h"
#include "config/settings.h"
#include "config/signatures.h"
#include "platform/cp932.h"
#include "platform/program_context.h"
#include "store/compose.h"
#include "store/folder_moves.h"
#include "store/mailbox_layout.h"
#include "store/message_opening.h"
#include "store/message_status.h"

namespace qm::cli {

namespace {

const command_voice voice{"new", new_syntax};
constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

struct new_arguments {
    // CP932, as the dialog would hand them over.
    std::string account, recipient, subject, template_name, signature_name;
    std::optional<std::string> body_file;  // a path as given
    bool have_recipient = false, have_subject = false;
    bool queue = false;
};

bool parse_arguments(int argc, char** argv, new_arguments& arguments, std::string& problem) {
    bool have_account = false;
    for (argument_reader reader(argc, argv); reader.next();) {
        const std::string option = reader.current();
        auto option_value = [&](const char* what, std::string& value) {
            const char* given = reader.value();
            if (!given) {
                problem = option + " needs " + what;
                return false;
            }
            return take_text(given, what, value, problem);
        };
        if (reader.is("--queue")) {
            arguments.queue = true;
        } else if (reader.is("--to")) {
            if (!option_value("an address", arguments.recipient)) return false;
            arguments.have_recipient = true;
        } else if (reader.is("--subject")) {
            if (!option_value("a subject", arguments.subject)) return false;
            arguments.have_subject = true;
        } else if (reader.is("--template")) {
            if (!option_value("a template name", arguments.template_name)) return false;
        } else if (reader.is("--signature")) {
            if (!option_value("a signature name", arguments.signature_name)) return false;
        } else if (reader.is("--body")) {
            const char* given = reader.value();
            if (!given) {
                problem = "--body needs a file";
                return false;
            }
            arguments.body_file = given;
        } else if (reader.unknown(problem)) {
            return false;
        } else if (have_account) {
            problem = "more than one account given";
            return false;
        } else {
            if (!take_account(reader.current(), arguments.account, problem)) return false;
            have_account = true;
        }
    }
    if (!have_account) problem = "no account given";
    else if (!arguments.have_recipient) problem = "no recipient given (--to)";
    else if (!arguments.have_subject) problem = "no subject given (--subject)";
    else if (arguments.recipient.size() > recipient_limit) problem = "the recipient is longer than 128 bytes";
    else if (arguments.subject.size() > subject_limit) problem = "the subject is longer than 256 bytes";
    else if (holds_control_char(arguments.recipient) || holds_control_char(arguments.subject))
        problem = "the recipient and the subject must be single lines";
    return problem.empty();
}

// The body file's text in CP932 with line feeds; nullopt (after a message)
// when it cannot be read or has no CP932 form.
std::optional<std::string> read_body_text(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        voice.complain("the body file \"" + path + "\" cannot be read");
        return std::nullopt;
    }
    std::string bytes;
    char chunk[8192];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        voice.complain("the body file \"" + path + "\" cannot be read");
        return std::nullopt;
    }
    if (bytes.starts_with(utf8_byte_order_mark)) bytes.erase(0, utf8_byte_order_mark.size());
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text.push_back(bytes[i]);
    }
    auto converted = utf8_to_cp932(text);
    if (!converted) {
        voice.complain("the body file \"" + path + "\" is not UTF-8 text with a Shift_JIS form");
        return std::nullopt;
    }
    // A zero byte or a Ctrl-Z would end the body early when it is read.
    if (converted->find_first_of(std::string_view("\0\x1a", 2)) != std::string::npos) {
        voice.complain("the body file \"" + path + "\" holds a zero or Ctrl-Z byte");
        return std::nullopt;
    }
    if (!converted->empty() && converted->back() != '\n') converted->push_back('\n');
    return converted;
}

// "<folder below the mailbox root>\t<number>" on stdout.
void print_draft_place(std::string_view mailbox, std::string_view folder, int number) {
    std::string relative(folder.substr(mailbox.size()));
    while (!relative.empty() && relative.back() == '/') relative.pop_back();
    std::printf("%s\t%d\n", terminal_text(relative).c_str(), number);
    std::fflush(stdout);
}

}  // namespace

int run_new(int argc, char** argv) {
    new_arguments arguments;
    std::string problem;
    if (!parse_arguments(argc, argv, arguments, problem)) return voice.usage_error(problem);
    store_session session;
    if (!session.begin()) return 1;

    terminal_reporter report;
    const std::string mailbox = open_mailbox(settings(), report);
    if (mailbox.empty()) return 1;
    if (!account_exists(mailbox, arguments.account)) {
        voice.complain("no account " + terminal_text(arguments.account) + " in the mailbox " + terminal_text(mailbox));
        return 1;
    }
    const std::string account_root = account_directory(mailbox, arguments.account);
    if (!arguments.template_name.empty() && !template_exists(account_root, arguments.template_name)) {
        voice.complain("the account has no template " + terminal_text(arguments.template_name));
        return 1;
    }
    if (!arguments.signature_name.empty() && !signature_exists(account_root, arguments.signature_name)) {
        voice.complain("the account has no signature " + terminal_text(arguments.signature_name));
        return 1;
    }
    if (!is_valid_recipient(arguments.recipient)) {
        report.notice(str::invalid_address);
        return 1;
    }
    std::string body;
    if (arguments.body_file) {
        auto text = read_body_text(*arguments.body_file);
        if (!text) return 1;
        body = std::move(*text);
    }

    const compose_context ctx{mailbox, account_root, context().work_directory,
                              load_current_account(mailbox, arguments.account)};
    int number = create_new_mail_with_body(ctx, arguments.template_name, arguments.recipient, arguments.subject,
                                           arguments.signature_name, body, report, false);
    if (number < 0) return 1;

    const std::string drafts = special_folder_in(account_root, special_folder::drafts);
    if (!arguments.queue) {
        print_draft_place(mailbox, drafts, number);
        return open_draft_in_editor(message_directory(drafts, number), false, report) ? 0 : 1;
    }
    const std::string outbox = special_folder_in(account_root, special_folder::outbox);
    const std::vector<selected_row> rows{{false, std::to_string(number), type_draft}};
    move_result moved = move_rows({mailbox, account_root, drafts}, outbox, rows, report);
    if (moved.moved.empty()) {
        print_draft_place(mailbox, drafts, number);
        voice.complain("the draft could not be moved to the outbox");
        return 1;
    }
    std::string moved_to = moved.moved.front().new_path;
    moved_to.pop_back();
    const std::optional<int> number_in_outbox = message_number_of(moved_to.substr(moved_to.rfind('/') + 1));
    print_draft_place(mailbox, outbox, number_in_outbox.value_or(-1));
    return 0;
}

}  // namespace qm::cli
