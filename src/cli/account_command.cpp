#include "cli/account_command.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/multibyte.h"
#include "cli/cli_support.h"
#include "cli/terminal_host.h"
#include "cli/terminal_input.h"
#include "cli/terminal_reporter.h"
#include "config/account_secrets.h"
#include "config/account_settings.h"
#include "config/oauth2_presets.h"
#include "config/settings.h"
#include "net/mail_jobs.h"
#include "store/accounts.h"
#include "store/entry_limits.h"
#include "store/round_logins.h"

namespace qm::cli {

namespace {

const command_voice voice{"account", account_syntax};

constexpr const char* help_text =
    "Usage: quillmere-cli account list\n"
    "       quillmere-cli account add TITLE --address A --pop-server H --pop-user U\n"
    "                                 --smtp-server H [OPTION...]\n"
    "       quillmere-cli account set TITLE [--title NEW] [OPTION...] [--password]\n"
    "                                 [--smtp-password]\n"
    "       quillmere-cli account remove TITLE [--yes]\n"
    "       quillmere-cli account login TITLE\n"
    "\n"
    "Options of add and set (set changes only what is given):\n"
    "  --name NAME               your name in From\n"
    "  --address A               the mail address\n"
    "  --pop-server H            POP3 server\n"
    "  --pop-port N              POP3 port (110, also with STLS; POP3 over SSL is\n"
    "                            usually 995)\n"
    "  --pop-user U              POP3 user name\n"
    "  --smtp-server H           SMTP server\n"
    "  --smtp-port N             SMTP port (25; with STARTTLS usually 587; SMTP over\n"
    "                            SSL is usually 465)\n"
    "  --smtp-user U             SMTP AUTH user name (none: the POP3 user name)\n"
    "  --auto-cc A, --auto-bcc A an address or group put into Cc or Bcc of new mail\n"
    "  --pop-ssl, --apop, --pop-remove, --smtp-ssl, --smtp-auth, --verify-certificate\n"
    "                            switches; each has an off form --no-pop-ssl ...\n"
    "                            (--pop-remove and --verify-certificate are on\n"
    "                            unless switched off)\n"
    "  --pop-stls, --smtp-starttls\n"
    "                            upgrade the plain connection to TLS with STLS or\n"
    "                            STARTTLS before anything else is sent (off forms\n"
    "                            --no-pop-stls ...); each excludes the same\n"
    "                            server's --pop-ssl or --smtp-ssl\n"
    "  --password-fd N           read the passwords from descriptor N, one a line\n"
    "  --pop-oauth2, --smtp-oauth2\n"
    "                            log in to the server with OAuth 2.0 instead of a\n"
    "                            password (off forms --no-pop-oauth2 ...); needs\n"
    "                            SSL/TLS or STLS/STARTTLS for that server\n"
    "  --oauth2-preset NAME      the provider's endpoints and scopes: google or\n"
    "                            microsoft (the options below override them)\n"
    "  --oauth2-authorize-url URL, --oauth2-token-url URL\n"
    "                            the provider's endpoints (https)\n"
    "  --oauth2-client-id ID     your registration's client id\n"
    "  --oauth2-client-secret-fd N\n"
    "                            read the client secret (if your registration has\n"
    "                            one) from descriptor N\n"
    "  --oauth2-scope SCOPE      the scopes, blank-separated\n"
    "  --no-keyring, --keyring   keep the passwords and tokens scrambled in\n"
    "                            account.ini, or in the desktop keyring (the\n"
    "                            default when a Secret Service runs)\n"
    "\n"
    "add asks for the POP3 password (unless POP3 uses OAuth 2.0), and with\n"
    "--smtp-auth for the SMTP password; set asks only with --password (POP3) or\n"
    "--smtp-password. They are typed without echo; an empty password is asked\n"
    "for at each send/receive instead.\n"
    "login signs in with the browser for the servers that use OAuth 2.0 and\n"
    "stores the refresh token; sync then renews the access without a browser.\n"
    "remove asks twice before it deletes the account with all its mail; --yes\n"
    "answers for you.\n";

// The dialog's edit fields take at most 127 bytes.
constexpr std::size_t value_limit = account_value_capacity - 1;
constexpr std::size_t password_limit = password_capacity - 1;
constexpr std::size_t oauth2_limit = oauth2_value_capacity - 1;
constexpr unsigned highest_port = 65535;
constexpr std::size_t port_digits = 5;

enum class action { list, add, set, remove, login };

struct action_entry {
    std::string_view name;
    action what;
    command_voice voice;
};

const action_entry actions[] = {
    {"list", action::list, {"account", "account list"}},
    {"add", action::add,
     {"account", "account add TITLE --address A --pop-server H --pop-user U --smtp-server H [OPTION...]"}},
    {"set", action::set,
     {"account", "account set TITLE [--title NEW] [OPTION...] [--password] [--smtp-password]"}},
    {"remove", action::remove, {"account", "account remove TITLE [--yes]"}},
    {"login", action::login, {"account", "account login TITLE"}},
};

enum class value_kind { text, not_empty, port, oauth2 };

struct text_option {
    std::string_view name;
    const char* what;
    std::string account_values::*field;
    value_kind kind;
    bool required_by_add;
};

const text_option text_options[] = {
    {"--name", "a name", &account_values::name, value_kind::text, false},
    {"--address", "an address", &account_values::address, value_kind::text, true},
    {"--pop-server", "a host name", &account_values::pop_server, value_kind::not_empty, true},
    {"--pop-port", "a port number", &account_values::pop_port, value_kind::port, false},
    {"--pop-user", "a user name", &account_values::pop_id, value_kind::not_empty, true},
    {"--smtp-server", "a host name", &account_values::smtp_server, value_kind::not_empty, true},
    {"--smtp-port", "a port number", &account_values::smtp_port, value_kind::port, false},
    {"--smtp-user", "a user name", &account_values::smtp_id, value_kind::text, false},
    {"--auto-cc", "an address or group", &account_values::auto_cc, value_kind::text, false},
    {"--auto-bcc", "an address or group", &account_values::auto_bcc, value_kind::text, false},
    {"--oauth2-authorize-url", "an address", &account_values::oauth2_authorize_url, value_kind::oauth2, false},
    {"--oauth2-token-url", "an address", &account_values::oauth2_token_url, value_kind::oauth2, false},
    {"--oauth2-client-id", "a client id", &account_values::oauth2_client_id, value_kind::oauth2, false},
    {"--oauth2-scope", "scopes", &account_values::oauth2_scope, value_kind::oauth2, false},
};

// "--NAME" switches on, "--no-NAME" off.
struct switch_option {
    std::string_view name;
    bool account_values::*field;
};

const switch_option switch_options[] = {
    {"pop-ssl", &account_values::pop_over_ssl},   {"apop", &account_values::apop},
    {"pop-remove", &account_values::pop_remove},  {"smtp-ssl", &account_values::smtp_over_ssl},
    {"smtp-auth", &account_values::smtp_auth},    {"verify-certificate", &account_values::verify_certificate},
    {"pop-stls", &account_values::pop_stls},      {"smtp-starttls", &account_values::smtp_starttls},
    {"pop-oauth2", &account_values::pop_oauth2},  {"smtp-oauth2", &account_values::smtp_oauth2},
};

// What one account command was asked to do; texts in CP932.
struct account_request {
    std::string title;
    std::optional<std::string> new_title;
    // In the order given: a later one wins.
    std::vector<std::pair<const text_option*, std::string>> texts;
    std::vector<std::pair<const switch_option*, bool>> switches;
    bool ask_pop_password = false, ask_smtp_password = false;
    std::optional<int> password_fd;
    const oauth2_preset* preset = nullptr;
    std::optional<int> client_secret_fd;
    std::optional<bool> keyring;
    bool yes = false;

    bool switches_on(std::string_view name) const {
        return std::any_of(switches.begin(), switches.end(),
                           [&](const auto& given) { return given.first->name == name && given.second; });
    }
    bool gives(std::string_view option) const {
        return std::any_of(texts.begin(), texts.end(), [&](const auto& text) { return text.first->name == option; });
    }
    bool changes_anything() const {
        return !texts.empty() || !switches.empty() || new_title || ask_pop_password || ask_smtp_password || preset ||
               client_secret_fd || keyring;
    }
    // A preset first: the options given beside it win.
    void apply_to(account_values& values) const {
        if (preset) {
            values.oauth2_authorize_url = preset->authorize_url;
            values.oauth2_token_url = preset->token_url;
            values.oauth2_scope = preset->scope;
        }
        for (const auto& [option, value] : texts) values.*(option->field) = value;
        for (const auto& [option, on] : switches) values.*(option->field) = on;
    }
};

enum class taken { no, yes, failed };

std::optional<unsigned> whole_number(std::string_view text) {
    unsigned number = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return number;
}

bool is_port(std::string_view text) {
    const std::optional<unsigned> number = whole_number(text);
    return text.size() <= port_digits && number && *number >= 1 && *number <= highest_port;
}

// An option's value in CP932: one line within the field's 127 bytes; a port
// a number from 1 to 65535, kept as typed.
bool take_value(const text_option& option, const char* given, std::string& value, std::string& problem) {
    const std::string name(option.name);
    if (!given) {
        problem = name + " needs " + option.what;
        return false;
    }
    if (!take_text(given, option.what, value, problem)) return false;
    if (option.kind == value_kind::port && !is_port(value)) problem = name + " needs a port number from 1 to 65535";
    else if (option.kind == value_kind::not_empty && value.empty()) problem = name + " needs " + option.what;
    else if (option.kind == value_kind::oauth2 && value.size() > oauth2_limit)
        problem = name + " takes at most 1023 bytes";
    else if (option.kind != value_kind::oauth2 && value.size() > value_limit) problem = name + " takes at most 127 bytes";
    else if (holds_control_char(value)) problem = name + " must be one line without control characters";
    return problem.empty();
}

taken take_text_option(argument_reader& reader, account_request& request, std::string& problem) {
    for (const text_option& option : text_options) {
        if (!reader.is(option.name)) continue;
        std::string value;
        if (!take_value(option, reader.value(), value, problem)) return taken::failed;
        request.texts.emplace_back(&option, std::move(value));
        return taken::yes;
    }
    return taken::no;
}

bool take_switch_option(const argument_reader& reader, account_request& request) {
    std::string_view argument = reader.current();
    if (!reader.is_option() || !argument.starts_with("--")) return false;
    argument.remove_prefix(2);
    const bool on = !argument.starts_with("no-");
    if (!on) argument.remove_prefix(3);
    for (const switch_option& option : switch_options) {
        if (argument != option.name) continue;
        request.switches.emplace_back(&option, on);
        return true;
    }
    return false;
}

taken take_fd(argument_reader& reader, std::optional<int>& fd_taken, std::string& problem) {
    const std::string name = reader.current();
    const char* given = reader.value();
    const std::optional<unsigned> fd = whole_number(given ? given : "");
    if (!fd || *fd > INT_MAX) {
        problem = name + " needs a file descriptor number";
        return taken::failed;
    }
    fd_taken = static_cast<int>(*fd);
    return taken::yes;
}

taken take_preset(argument_reader& reader, account_request& request, std::string& problem) {
    const char* given = reader.value();
    request.preset = find_oauth2_preset(given ? given : "");
    if (request.preset) return taken::yes;
    problem = "--oauth2-preset needs one of:";
    for (const oauth2_preset& preset : oauth2_presets()) problem += " " + std::string(preset.name);
    return taken::failed;
}

// The options of add and set besides the account's values.
taken take_setting_option(argument_reader& reader, account_request& request, std::string& problem) {
    if (reader.is("--password-fd")) return take_fd(reader, request.password_fd, problem);
    if (reader.is("--oauth2-client-secret-fd")) return take_fd(reader, request.client_secret_fd, problem);
    if (reader.is("--oauth2-preset")) return take_preset(reader, request, problem);
    if (reader.is("--keyring") || reader.is("--no-keyring")) {
        request.keyring = reader.is("--keyring");
        return taken::yes;
    }
    return taken::no;
}

// The options besides the account's values, each for the actions it serves.
taken take_other_option(action what, argument_reader& reader, account_request& request, std::string& problem) {
    if (what == action::set && reader.is("--title")) {
        const char* given = reader.value();
        std::string title;
        if (!given) problem = "--title needs a title";
        else if (take_text(given, "the title", title, problem)) request.new_title = std::move(title);
        return problem.empty() ? taken::yes : taken::failed;
    }
    if (what == action::set && reader.is("--password")) request.ask_pop_password = true;
    else if (what == action::set && reader.is("--smtp-password")) request.ask_smtp_password = true;
    else if (what == action::remove && reader.is("--yes")) request.yes = true;
    else if (what == action::add || what == action::set) return take_setting_option(reader, request, problem);
    else return taken::no;
    return taken::yes;
}

taken take_option(action what, argument_reader& reader, account_request& request, std::string& problem) {
    if (what == action::add || what == action::set) {
        const taken text = take_text_option(reader, request, problem);
        if (text != taken::no) return text;
        if (take_switch_option(reader, request)) return taken::yes;
    }
    return take_other_option(what, reader, request, problem);
}

// A new title is checked with the dialog's rules later, so that the user
// sees them; an existing account is named by a valid title.
bool take_title(action what, const char* argument, std::string& title, std::string& problem) {
    return what == action::add ? take_text(argument, "the title", title, problem)
                               : take_account(argument, title, problem);
}

bool complete_request(action what, const account_request& request, std::string& problem) {
    if (what == action::add) {
        for (const text_option& option : text_options) {
            if (!option.required_by_add || request.gives(option.name)) continue;
            problem = std::string(option.name) + " is required";
            return false;
        }
    }
    if (what == action::set && !request.changes_anything()) problem = "nothing to change given";
    else if (what == action::set && request.password_fd && !request.ask_pop_password && !request.ask_smtp_password)
        problem = "--password-fd needs --password or --smtp-password";
    return problem.empty();
}

bool parse_request(action what, int argc, char** argv, account_request& request, std::string& problem) {
    bool have_title = false;
    for (argument_reader reader(argc, argv); reader.next();) {
        const taken option = take_option(what, reader, request, problem);
        if (option == taken::failed) return false;
        if (option == taken::yes) continue;
        if (reader.unknown(problem)) return false;
        if (have_title) {
            problem = "more than one title given";
            return false;
        }
        if (!take_title(what, reader.current(), request.title, problem)) return false;
        have_title = true;
    }
    if (!have_title) {
        problem = "no account title given";
        return false;
    }
    return complete_request(what, request, problem);
}

// The SMTP user and password serve only SMTP AUTH (the dialog enables their
// fields only with it); a user name can always be cleared.
std::string smtp_auth_problem(const account_request& request, const account_values& values) {
    if (values.smtp_auth) return "";
    if (request.gives("--smtp-user") && !values.smtp_id.empty()) return "--smtp-user needs SMTP AUTH (--smtp-auth)";
    if (request.ask_smtp_password) return "--smtp-password needs SMTP AUTH (--smtp-auth)";
    return "";
}

// A server is reached in one way only: TLS from the first byte and the
// upgrade of a plain connection exclude each other.
std::string security_problem(const account_request& request, const account_values& values) {
    struct pair {
        bool account_values::*ssl;
        bool account_values::*upgrade;
        std::string_view ssl_name, upgrade_name;
    };
    static const pair pairs[] = {
        {&account_values::pop_over_ssl, &account_values::pop_stls, "pop-ssl", "pop-stls"},
        {&account_values::smtp_over_ssl, &account_values::smtp_starttls, "smtp-ssl", "smtp-starttls"},
    };
    for (const pair& p : pairs) {
        if (!(values.*(p.ssl)) || !(values.*(p.upgrade))) continue;
        const std::string ssl = "--" + std::string(p.ssl_name), upgrade = "--" + std::string(p.upgrade_name);
        if (request.switches_on(p.ssl_name) && request.switches_on(p.upgrade_name))
            return ssl + " and " + upgrade + " exclude each other: choose one";
        if (request.switches_on(p.upgrade_name))
            return "the account uses " + ssl + ": give --no-" + std::string(p.ssl_name) + " with " + upgrade;
        return "the account uses " + upgrade + ": give --no-" + std::string(p.upgrade_name) + " with " + ssl;
    }
    return "";
}

// The account dialog's checks, the first failure shown as the dialog shows it.
bool passes_dialog_checks(std::string_view mailbox, std::string_view title, const account_request& request,
                          const account_values& values, bool is_new_title, reporter& report) {
    const int refusal = check_account(mailbox, title, values.name, values.address, is_new_title);
    if (refusal == 0) return true;
    report.notice(refusal);
    if (refusal == str::invalid_address && !request.gives("--address"))
        voice.complain("the account has no valid address yet: give one with --address");
    return false;
}

// A password from the descriptor or typed without echo, stored scrambled;
// an empty one stays empty (asked for at each round).
bool obtain_password(const account_request& request, std::string_view prompt, std::string& stored) {
    std::string typed;
    const bool got = request.password_fd ? read_password(*request.password_fd, password_capacity, typed)
                                         : ask_terminal_password(prompt, password_capacity, typed);
    if (!got || typed.size() > password_limit) {
        wipe_password(typed);
        voice.complain(got ? "a password takes at most 127 bytes; nothing was changed"
                           : "no password was read; nothing was changed");
        return false;
    }
    scramble_password(typed);
    stored = std::move(typed);
    return true;
}

bool obtain_passwords(const account_request& request, bool pop, bool smtp, account_values& values) {
    interrupted = 0;
    interrupt_guard guard;  // a Ctrl-C at the prompt restores the echo
    return (!pop || obtain_password(request, load_string(str::password_prompt), values.pop_password)) &&
           (!smtp || obtain_password(request, load_string(str::smtp_password_prompt), values.smtp_password));
}

// The client secret from its descriptor, stored scrambled; an empty line
// forgets it.
bool obtain_client_secret(const account_request& request, account_values& values) {
    if (!request.client_secret_fd) return true;
    std::string secret;
    if (!read_password(*request.client_secret_fd, oauth2_value_capacity, secret) || secret.size() > oauth2_limit) {
        wipe_password(secret);
        voice.complain("no client secret of at most 1023 bytes was read; nothing was changed");
        return false;
    }
    scramble_password(secret);
    wipe_password(values.oauth2_client_secret);
    values.oauth2_client_secret = std::move(secret);
    return true;
}

// The OAuth 2.0 checks of the dialog, then the secrets to their place: the
// keyring when one runs (unless --no-keyring), else the file.
bool settle_logins(const account_request& request, std::string_view title, account_values& values,
                   reporter& report) {
    if (int refusal = check_oauth2_settings(values)) {
        report.notice(refusal);
        return false;
    }
    const bool keyring = request.keyring.value_or(true) && keyring_available();
    if (request.keyring.value_or(false) && !keyring) voice.complain("no keyring (Secret Service) answers: the secrets stay in account.ini");
    if (place_account_secrets(values, keyring, title)) return true;
    report.error(str::keyring_failed);
    return false;
}

// One answer line from standard input, without its line end; nullopt at the
// end of the input.
std::optional<std::string> read_answer() {
    std::string line;
    int c;
    while ((c = std::getc(stdin)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Asks the core's questions on the terminal: "y" or "yes" is OK, anything
// else (or the end of the input) is Cancel.
class asking_reporter : public terminal_reporter {
public:
    bool show(message_kind kind, std::string_view text) override {
        if (kind != message_kind::confirm) return terminal_reporter::show(kind, text);
        std::fprintf(stderr, "%s: %s [y/N] ", terminal_text(message_title(kind)).c_str(),
                     terminal_text(text).c_str());
        std::fflush(stderr);
        const std::optional<std::string> answer = read_answer();
        if (!::isatty(STDIN_FILENO)) std::fputc('\n', stderr);  // the answer was not shown
        return answer && (*answer == "y" || *answer == "yes" || *answer == "Y" || *answer == "YES");
    }
};

// The context, the single-instance lock and the work directory, and the
// mailbox (made on the first start): its root, or "" after a message.
std::string open_store(store_session& session, reporter& report) {
    if (!prepare_context() || !session.begin()) return "";
    return open_mailbox(settings(), report);
}

int no_account(std::string_view mailbox, std::string_view title) {
    voice.complain("there is no account \"" + terminal_text(title) + "\" in " + terminal_text(mailbox));
    return 1;
}

int list_account_titles() {
    if (!prepare_context()) return 1;
    const std::string mailbox = mailbox_root();
    for (const std::string& title : list_accounts(mailbox)) {
        const bool complete = account_complete(load_current_account(mailbox, title));
        std::printf("%s\t%s\n", terminal_text(title).c_str(), complete ? "complete" : "incomplete");
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        voice.complain("the list could not be written");
        return 1;
    }
    return 0;
}

int add_account(const account_request& request, const command_voice& usage) {
    account_values values{};
    values.pop_port = std::to_string(default_pop_port);
    values.smtp_port = std::to_string(default_smtp_port);
    request.apply_to(values);
    if (std::string problem = smtp_auth_problem(request, values); !problem.empty()) return usage.usage_error(problem);
    if (std::string problem = security_problem(request, values); !problem.empty()) return usage.usage_error(problem);

    store_session session;
    terminal_reporter report;
    const std::string mailbox = open_store(session, report);
    if (mailbox.empty()) return 1;
    if (!passes_dialog_checks(mailbox, request.title, request, values, true, report)) return 1;
    if (int refusal = check_new_account(mailbox)) {
        report.notice(refusal);
        return 1;
    }
    if (!obtain_passwords(request, !values.pop_oauth2, values.smtp_auth && !values.smtp_oauth2, values) ||
        !obtain_client_secret(request, values) || !settle_logins(request, request.title, values, report))
        return 1;
    if (create_account(mailbox, request.title, values)) return 0;
    forget_keyring_secrets(values.keyring_id);
    report.error(str::file_error);
    return 1;
}

int set_account(const account_request& request, const command_voice& usage) {
    store_session session;
    terminal_reporter report;
    const std::string mailbox = open_store(session, report);
    if (mailbox.empty()) return 1;
    if (!account_exists(mailbox, request.title)) return no_account(mailbox, request.title);

    account_values values = load_account_values(mailbox, request.title);
    request.apply_to(values);
    if (std::string problem = smtp_auth_problem(request, values); !problem.empty()) return usage.usage_error(problem);
    if (std::string problem = security_problem(request, values); !problem.empty()) return usage.usage_error(problem);
    const std::string new_title = request.new_title.value_or(request.title);
    if (!passes_dialog_checks(mailbox, new_title, request, values, new_title != request.title, report)) return 1;
    const std::string former_keyring = values.keyring_id;
    if (!obtain_passwords(request, request.ask_pop_password, request.ask_smtp_password, values) ||
        !obtain_client_secret(request, values) || !settle_logins(request, new_title, values, report))
        return 1;
    if (!update_account(mailbox, request.title, new_title, values)) {
        report.error(str::file_error);
        return 1;
    }
    if (values.keyring_id.empty()) forget_keyring_secrets(former_keyring);
    return 0;
}

// The browser step for the account's OAuth 2.0 registration; the refresh
// token is stored where the account keeps its secrets.
int login_account(const account_request& request) {
    store_session session;
    terminal_host host(false, true);
    const std::string mailbox = open_store(session, host.report());
    if (mailbox.empty()) return 1;
    if (!account_exists(mailbox, request.title)) return no_account(mailbox, request.title);
    const current_account account = load_current_account(mailbox, request.title);
    if (!account.pop_oauth2 && !account.smtp_oauth2) {
        voice.complain("\"" + terminal_text(request.title) +
                       "\" logs in with passwords: give --pop-oauth2 or --smtp-oauth2 to account set first");
        return 1;
    }
    interrupted = 0;
    interrupt_guard guard;
    std::string access_token;
    const net_result code = sign_in(host, mailbox, request.title, load_oauth2_registration(mailbox, request.title),
                                    access_token);
    wipe_password(access_token);
    if (code != net_result::ok) return 1;
    std::fprintf(stderr, "Signed in; the refresh token is kept %s.\n",
                 secrets_in_keyring(account) ? "in the desktop keyring" : "in account.ini, scrambled");
    return 0;
}

int remove_account(const account_request& request) {
    store_session session;
    asking_reporter report;
    const std::string mailbox = open_store(session, report);
    if (mailbox.empty()) return 1;
    if (!account_exists(mailbox, request.title)) return no_account(mailbox, request.title);
    if (!request.yes && !confirm_account_deletion(report)) {
        voice.complain("nothing was removed");
        return 1;
    }
    if (delete_account(mailbox, request.title)) return 0;
    report.error(str::file_error);
    return 1;
}

}  // namespace

int run_account(int argc, char** argv) {
    if (argc < 1) return voice.usage_error("no action given");
    const std::string_view name = argv[0];
    if (name == "--help" || name == "-h") {
        std::fputs(help_text, stdout);
        return 0;
    }
    const auto entry = std::find_if(std::begin(actions), std::end(actions),
                                    [&](const action_entry& candidate) { return candidate.name == name; });
    if (entry == std::end(actions)) return voice.usage_error("unknown action \"" + std::string(name) + "\"");
    if (entry->what == action::list) {
        return argc == 1 ? list_account_titles() : entry->voice.usage_error("list takes no arguments");
    }
    account_request request;
    std::string problem;
    if (!parse_request(entry->what, argc - 1, argv + 1, request, problem)) return entry->voice.usage_error(problem);
    switch (entry->what) {
        case action::add: return add_account(request, entry->voice);
        case action::set: return set_account(request, entry->voice);
        case action::remove: return remove_account(request);
        case action::login: return login_account(request);
        case action::list: break;
    }
    return 2;
}

}  // namespace qm::cli
