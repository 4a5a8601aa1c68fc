#include "config/settings.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "config/accounts.h"
#include "config/default_profile.h"
#include "config/profile.h"
#include "config/profile_file.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "platform/string_table.h"
#include "text/multibyte.h"

namespace qm {

namespace {

constexpr std::string_view switch_section = "switch";
constexpr std::string_view value_section = "value";
constexpr std::string_view string_section = "string";
constexpr std::string_view font_section = "font";
constexpr std::string_view color_section = "color";
constexpr std::string_view key_section = "key";

constexpr std::string_view colour_keys[colour_count] = {"back ground", "back text", "text directory",
                                                       "text search", "text new",  "text normal"};
constexpr std::string_view default_colours[colour_count] = {"0:0:64",  "0:0:255",   "0:255:255",
                                                           "0:255:0", "255:255:0", "255:255:255"};
constexpr std::string_view key_names[key_letter_count] = {
    "select account", "open menu mail", "make directory", "make mail",      "mark all", "connect",
    "connect round",  "arrange",        "clear trash",    "open menu sort", "search"};
// A colour text is read in at most 11 characters.
constexpr std::size_t colour_text_capacity = 12;

std::string default_mailbox() { return context().program_directory + "mailbox/"; }
std::string default_text_program() { return context().executable_directory + "quillmere-notepad"; }

colour Settings::*const colour_fields[colour_count] = {&Settings::back_ground,    &Settings::back_text,
                                                     &Settings::text_directory, &Settings::text_search,
                                                     &Settings::text_new,       &Settings::text_normal};

// The leading number of a text as atoi reads it, kept within the range of
// an int.
int leading_number(std::string_view text) {
    std::size_t pos = text.find_first_not_of(" \t\n\v\f\r");
    if (pos == std::string_view::npos) return 0;
    bool negative = text[pos] == '-';
    if (text[pos] == '+' || text[pos] == '-') ++pos;
    long long magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        magnitude = std::min(magnitude * 10 + (text[pos] - '0'), static_cast<long long>(INT_MAX) + 1);
    if (negative) return static_cast<int>(-magnitude);
    return static_cast<int>(std::min(magnitude, static_cast<long long>(INT_MAX)));
}

// The mailbox root as the store uses it: "/" separators, an absolute path
// (a relative one lies in the data directory) and a final "/". An empty
// value means the default.
std::string mailbox_root(std::string_view value) {
    std::string root = backslashes_to_slashes(value);
    if (root.empty()) return default_mailbox();
    if (root.front() != '/') root.insert(0, context().program_directory);
    if (root.back() != '/') root += '/';
    return root;
}

std::vector<profile_default> default_values() {
    std::vector<profile_default> values = {
        {switch_section, "list thread", "-"},
        {switch_section, "view tree", "+"},
        {switch_section, "view preview", "+"},
        {switch_section, "arrange at receive", "-"},
        {switch_section, "arrange at send", "-"},
        {switch_section, "arrange at terminate", "-"},
        {switch_section, "tell remain", "+"},
        {switch_section, "clear trash", "-"},
        {value_section, "check interval", "0"},
        {string_section, "open header", std::string(default_open_header)},
        {string_section, "mailbox", default_mailbox()},
        {string_section, "text viewer", default_text_program()},
        {string_section, "text editor", default_text_program()},
        {string_section, "dangerous extension", std::string(default_dangerous_extensions)},
        {font_section, "name", load_string(str::font_default_name)},
        {font_section, "size", "-12"},
        {font_section, "point", "9"},
        {font_section, "bold", "400"},
        {font_section, "italic", "-"},
        {font_section, "style", load_string(str::font_default_style)},
    };
    for (int i = 0; i < colour_count; ++i)
        values.push_back({color_section, colour_keys[i], std::string(default_colours[i])});
    for (int i = 0; i < key_letter_count; ++i)
        values.push_back({key_section, key_names[i], std::string(1, default_key_letters[i])});
    return values;
}

// Writes the values in order, all in one rewrite: on a failure the file
// keeps every old value.
bool write_in_order(const std::vector<profile_default>& values) {
    return profile_set_strings(settings_path(), values, false);
}

std::string_view flag(bool value) { return value ? "+" : "-"; }

// The first start: the mailbox with its first account. A mailbox whose
// account could not be made goes again, so that the next start tries anew.
void make_first_mailbox(const std::string& mailbox, reporter& report) {
    if (!make_directory(mailbox)) {
        report.error(str::file_error);
        return;
    }
    account_values values{};
    values.pop_port = "110";
    values.smtp_port = "25";
    values.pop_remove = true;
    values.verify_certificate = true;
    if (create_account(mailbox, load_string(str::default_account), values)) return;
    remove_directory(mailbox);
    report.error(str::file_error);
}

}  // namespace

Settings& settings() {
    static Settings record;
    return record;
}

std::string settings_path() { return context().program_directory + "quillmere.ini"; }

bool WriteDefaultSettings() { return write_default_profile(settings_path(), default_values()); }

void LoadViewSettings(Settings& s) {
    std::string path = settings_path();
    s.list_thread = profile_read_bool(path, switch_section, "list thread", false);
    s.view_tree = profile_read_bool(path, switch_section, "view tree", true);
    s.view_preview = profile_read_bool(path, switch_section, "view preview", true);
    s.font_name = profile_read_string(path, font_section, "name", load_string(str::font_default_name),
                                      font_text_capacity);
    s.font_size = profile_read_int(path, font_section, "size", -12);
    s.font_point = profile_read_int(path, font_section, "point", 9);
    s.font_weight = profile_read_int(path, font_section, "bold", 400);
    s.font_italic = profile_read_bool(path, font_section, "italic", false);
    s.font_style = profile_read_string(path, font_section, "style", load_string(str::font_default_style),
                                       font_text_capacity);
    for (int i = 0; i < colour_count; ++i)
        s.*colour_fields[i] = ParseColor(
            profile_read_string(path, color_section, colour_keys[i], default_colours[i], colour_text_capacity));
}

void LoadFunctionSettings(Settings& s, reporter& report) {
    std::string path = settings_path();
    s.arrange_at_receive = profile_read_bool(path, switch_section, "arrange at receive", false);
    s.arrange_at_send = profile_read_bool(path, switch_section, "arrange at send", false);
    s.arrange_at_terminate = profile_read_bool(path, switch_section, "arrange at terminate", false);
    s.tell_remain = profile_read_bool(path, switch_section, "tell remain", true);
    s.clear_trash = profile_read_bool(path, switch_section, "clear trash", false);
    // An interval beyond the range would arm the check timer with nonsense.
    s.check_interval = std::clamp(profile_read_int(path, value_section, "check interval", 0), 0, max_check_interval);
    s.mailbox = mailbox_root(
        profile_read_string(path, string_section, "mailbox", default_mailbox(), path_setting_capacity));
    s.text_viewer = backslashes_to_slashes(
        profile_read_string(path, string_section, "text viewer", default_text_program(), path_setting_capacity));
    s.text_editor = backslashes_to_slashes(
        profile_read_string(path, string_section, "text editor", default_text_program(), path_setting_capacity));
    s.keys.resize(key_letter_count);
    for (int i = 0; i < key_letter_count; ++i)
        s.keys[i] = profile_read_char(path, key_section, key_names[i], default_key_letters[i]);

    if (!directory_exists(s.mailbox)) make_first_mailbox(s.mailbox, report);
}

bool SaveViewSettings(bool list_thread, bool view_tree, bool view_preview, std::string_view open_header,
                      std::string_view font_name, int font_size, int font_point, int font_weight, bool font_italic,
                      std::string_view font_style, const std::array<std::string, colour_count>& colours) {
    std::vector<profile_default> values = {
        {switch_section, "list thread", std::string(flag(list_thread))},
        {switch_section, "view tree", std::string(flag(view_tree))},
        {switch_section, "view preview", std::string(flag(view_preview))},
        {string_section, "open header", std::string(open_header)},
        {font_section, "name", std::string(font_name)},
        {font_section, "size", std::to_string(font_size)},
        {font_section, "point", std::to_string(font_point)},
        {font_section, "bold", std::to_string(font_weight)},
        {font_section, "italic", std::string(flag(font_italic))},
        {font_section, "style", std::string(font_style)},
    };
    for (int i = 0; i < colour_count; ++i) values.push_back({color_section, colour_keys[i], colours[i]});
    return write_in_order(values);
}

bool SaveFunctionSettings(bool arrange_at_receive, bool arrange_at_send, bool arrange_at_terminate, bool tell_remain,
                          bool clear_trash, int check_interval, std::string_view mailbox, std::string_view text_viewer,
                          std::string_view text_editor, std::string_view dangerous_extensions, std::string_view keys) {
    std::vector<profile_default> values = {
        {switch_section, "arrange at receive", std::string(flag(arrange_at_receive))},
        {switch_section, "arrange at send", std::string(flag(arrange_at_send))},
        {switch_section, "arrange at terminate", std::string(flag(arrange_at_terminate))},
        {switch_section, "tell remain", std::string(flag(tell_remain))},
        {switch_section, "clear trash", std::string(flag(clear_trash))},
        {value_section, "check interval", std::to_string(check_interval)},
        {string_section, "mailbox", backslashes_to_slashes(mailbox)},
        {string_section, "text viewer", backslashes_to_slashes(text_viewer)},
        {string_section, "text editor", backslashes_to_slashes(text_editor)},
        {string_section, "dangerous extension", std::string(dangerous_extensions)},
    };
    // A letter switched off (0) is stored as an empty value, which reads back
    // as 0.
    for (int i = 0; i < key_letter_count; ++i) {
        char letter = static_cast<std::size_t>(i) < keys.size() ? keys[i] : '\0';
        values.push_back({key_section, key_names[i], letter == '\0' ? std::string() : std::string(1, letter)});
    }
    return write_in_order(values);
}

std::string ReadOpenHeaderList(std::string_view default_value) {
    return profile_read_string(settings_path(), string_section, "open header", default_value, open_header_capacity);
}

std::string ReadDangerousExtensions() {
    return profile_read_string(settings_path(), string_section, "dangerous extension", default_dangerous_extensions,
                               dangerous_extension_capacity);
}

colour ParseColor(std::string_view text) {
    auto low_byte = [](int number) { return static_cast<colour>(static_cast<unsigned char>(number)); };
    colour red = low_byte(leading_number(text));
    colour green = 0, blue = 0;
    std::size_t first = text.find(':');
    if (first != std::string_view::npos) {
        green = low_byte(leading_number(text.substr(first + 1)));
        std::size_t second = text.find(':', first + 1);
        if (second != std::string_view::npos) blue = low_byte(leading_number(text.substr(second + 1)));
    }
    return red | green << 8 | blue << 16;
}

std::string format_color(colour value) {
    return std::to_string(value & 0xff) + ":" + std::to_string(value >> 8 & 0xff) + ":" +
           std::to_string(value >> 16 & 0xff);
}

}  // namespace qm
