#include "config/settings.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "base/find_nocase.h"
#include "base/multibyte.h"
#include "base/number_text.h"
#include "config/default_profile.h"
#include "config/profile.h"
#include "config/profile_file.h"
#include "platform/program_context.h"
#include "platform/string_table.h"

namespace qm {

namespace {

enum class group { view, function };
enum class form {
    flag,    // "+" or "-"
    number,  // decimal
    text,    // as it is
    path,    // "/" separators
    colour,  // "red:green:blue"
    letter,  // one character, empty for none
    list,    // a list read at each use, not kept in the record
};

// One key of "quillmere.ini": where it is, what it holds, its default and
// the member of the record that keeps it.
struct setting_key {
    group part;
    std::string_view section;
    std::string_view key;
    form kind;
    std::string_view fixed_default{};
    std::string (*computed_default)() = nullptr;
    std::size_t capacity = profile_value_capacity;  // how much of a text is read
    bool Settings::*flag = nullptr;
    int Settings::*number = nullptr;
    std::string Settings::*text = nullptr;
    colour Settings::*tint = nullptr;
    int letter = 0;  // the index into Settings::keys
    int lowest = INT_MIN, highest = INT_MAX;
    std::string (*tidy)(std::string_view) = nullptr;  // applied to a path after reading

    std::string default_text() const {
        return computed_default ? computed_default() : std::string(fixed_default);
    }
};

// A colour text is read in at most 11 characters.
constexpr std::size_t colour_text_capacity = 12;

std::string default_mailbox() { return context().program_directory + "mailbox/"; }
std::string default_text_program() { return context().executable_directory + "quillmere-notepad"; }
std::string default_font_name() { return load_string(str::font_default_name); }
std::string default_font_style() { return load_string(str::font_default_style); }
std::string slashed(std::string_view path) { return backslashes_to_slashes(path); }

// A settings file of the Windows program names the system's notepad, which
// is not here: the bundled one takes its place.
std::string text_program(std::string_view path) {
    std::string program = slashed(path);
    return equals_nocase(program, "%WINDIR%/notepad.exe") ? default_text_program() : program;
}

constexpr setting_key flag_key(group part, std::string_view section, std::string_view key, bool Settings::*member,
                               std::string_view fixed_default) {
    return {.part = part, .section = section, .key = key, .kind = form::flag, .fixed_default = fixed_default,
            .flag = member};
}

constexpr setting_key number_key(group part, std::string_view section, std::string_view key, int Settings::*member,
                                 std::string_view fixed_default, int lowest = INT_MIN, int highest = INT_MAX) {
    return {.part = part, .section = section, .key = key, .kind = form::number, .fixed_default = fixed_default,
            .number = member, .lowest = lowest, .highest = highest};
}

constexpr setting_key path_key(std::string_view key, std::string Settings::*member, std::string (*fallback)(),
                               std::string (*tidy)(std::string_view)) {
    return {.part = group::function, .section = "string", .key = key, .kind = form::path,
            .computed_default = fallback, .capacity = path_setting_capacity, .text = member, .tidy = tidy};
}

constexpr setting_key font_text_key(std::string_view key, std::string Settings::*member, std::string (*fallback)()) {
    return {.part = group::view, .section = "font", .key = key, .kind = form::text, .computed_default = fallback,
            .capacity = font_text_capacity, .text = member};
}

constexpr setting_key list_key(group part, std::string_view key, std::string_view fixed_default,
                               std::size_t capacity) {
    return {.part = part, .section = "string", .key = key, .kind = form::list, .fixed_default = fixed_default,
            .capacity = capacity};
}

constexpr setting_key colour_key(std::string_view key, colour Settings::*member, std::string_view fixed_default) {
    return {.part = group::view, .section = "color", .key = key, .kind = form::colour, .fixed_default = fixed_default,
            .capacity = colour_text_capacity, .tint = member};
}

constexpr setting_key letter_key(int index) {
    return {.part = group::function, .section = "key", .key = key_letter_setting_names[static_cast<std::size_t>(index)],
            .kind = form::letter,
            .fixed_default = default_key_letters.substr(static_cast<std::size_t>(index), 1), .letter = index};
}

constexpr group view = group::view;
constexpr group function = group::function;

// Every key, in the order of the file.
const setting_key setting_keys[] = {
    flag_key(view, "switch", "list thread", &Settings::list_thread, "-"),
    flag_key(view, "switch", "view tree", &Settings::view_tree, "+"),
    flag_key(view, "switch", "view preview", &Settings::view_preview, "+"),
    flag_key(function, "switch", "arrange at receive", &Settings::arrange_at_receive, "-"),
    flag_key(function, "switch", "arrange at send", &Settings::arrange_at_send, "-"),
    flag_key(function, "switch", "arrange at terminate", &Settings::arrange_at_terminate, "-"),
    flag_key(function, "switch", "tell remain", &Settings::tell_remain, "+"),
    flag_key(function, "switch", "clear trash", &Settings::clear_trash, "-"),
    // An interval beyond the range would arm the check timer with nonsense.
    number_key(function, "value", "check interval", &Settings::check_interval, "0", 0, max_check_interval),
    // The largest message a receive fetches, in MB.
    number_key(function, "value", "download limit", &Settings::download_limit, "100", 1, max_download_limit_mb),
    list_key(view, "open header", default_open_header, open_header_capacity),
    path_key("mailbox", &Settings::mailbox, default_mailbox, mailbox_root_of),
    path_key("text viewer", &Settings::text_viewer, default_text_program, text_program),
    path_key("text editor", &Settings::text_editor, default_text_program, text_program),
    list_key(function, "dangerous extension", default_dangerous_extensions, dangerous_extension_capacity),
    font_text_key("name", &Settings::font_name, default_font_name),
    number_key(view, "font", "size", &Settings::font_size, "-12"),
    number_key(view, "font", "point", &Settings::font_point, "9"),
    number_key(view, "font", "bold", &Settings::font_weight, "400"),
    flag_key(view, "font", "italic", &Settings::font_italic, "-"),
    font_text_key("style", &Settings::font_style, default_font_style),
    colour_key("back ground", &Settings::back_ground, "0:0:64"),
    colour_key("back text", &Settings::back_text, "0:0:255"),
    colour_key("text directory", &Settings::text_directory, "0:255:255"),
    colour_key("text search", &Settings::text_search, "0:255:0"),
    colour_key("text new", &Settings::text_new, "255:255:0"),
    colour_key("text normal", &Settings::text_normal, "255:255:255"),
    letter_key(0),
    letter_key(1),
    letter_key(2),
    letter_key(3),
    letter_key(4),
    letter_key(5),
    letter_key(6),
    letter_key(7),
    letter_key(8),
    letter_key(9),
    letter_key(10),
};

const setting_key& key_named(std::string_view key) {
    for (const setting_key& entry : setting_keys) {
        if (entry.kind == form::list && entry.key == key) return entry;
    }
    return setting_keys[0];  // not reached: both lists are in the table
}

void load_key(const setting_key& entry, const profile_snapshot& file, Settings& s) {
    const std::string fallback = entry.default_text();
    switch (entry.kind) {
    case form::flag: s.*entry.flag = file.read_bool(entry.section, entry.key, fallback == "+"); break;
    case form::number:
        s.*entry.number =
            std::clamp(file.read_int(entry.section, entry.key, leading_int(fallback)), entry.lowest, entry.highest);
        break;
    case form::text: s.*entry.text = file.read_string(entry.section, entry.key, fallback, entry.capacity); break;
    case form::path:
        s.*entry.text = entry.tidy(file.read_string(entry.section, entry.key, fallback, entry.capacity));
        break;
    case form::colour:
        s.*entry.tint = parse_color(file.read_string(entry.section, entry.key, fallback, entry.capacity));
        break;
    case form::letter:
        s.keys.resize(key_letter_count);
        s.keys[static_cast<std::size_t>(entry.letter)] = file.read_char(entry.section, entry.key, fallback.front());
        break;
    case form::list: break;
    }
}

void load_group(group part, Settings& s) {
    const profile_snapshot file(settings_path());
    for (const setting_key& entry : setting_keys) {
        if (entry.part == part) load_key(entry, file, s);
    }
}

std::string stored_text(const setting_key& entry, const Settings& s, std::string_view list) {
    switch (entry.kind) {
    case form::flag: return s.*entry.flag ? "+" : "-";
    case form::number: return std::to_string(s.*entry.number);
    case form::text: return s.*entry.text;
    case form::path: return backslashes_to_slashes(s.*entry.text);
    case form::colour: return format_color(s.*entry.tint);
    case form::letter: {
        const std::size_t index = static_cast<std::size_t>(entry.letter);
        const char letter = index < s.keys.size() ? s.keys[index] : '\0';
        // A letter switched off (0) is stored as an empty value, which reads back as 0.
        return letter == '\0' ? std::string() : std::string(1, letter);
    }
    case form::list: return std::string(list);
    }
    return {};
}

// Writes the group's keys in order, all in one rewrite: on a failure the
// file keeps every old value.
bool save_group(group part, const Settings& s, std::string_view list) {
    std::vector<profile_default> values;
    for (const setting_key& entry : setting_keys) {
        if (entry.part == part) values.push_back({entry.section, entry.key, stored_text(entry, s, list)});
    }
    return profile_set_strings(settings_path(), values, false);
}

std::string read_list(std::string_view key, std::string_view default_value) {
    const setting_key& entry = key_named(key);
    return profile_read_string(settings_path(), entry.section, entry.key, default_value, entry.capacity);
}

}  // namespace

Settings& settings() {
    static Settings record;
    return record;
}

std::string settings_path() { return context().program_directory + "quillmere.ini"; }

std::string mailbox_root_of(std::string_view setting) {
    std::string root = backslashes_to_slashes(setting);
    if (root.empty()) return default_mailbox();
    if (root.front() != '/') root.insert(0, context().program_directory);
    if (root.back() != '/') root += '/';
    return root;
}

std::string mailbox_root() {
    Settings s;
    load_function_settings(s);
    return s.mailbox;
}

bool write_default_settings() {
    std::vector<profile_default> values;
    for (const setting_key& entry : setting_keys) values.push_back({entry.section, entry.key, entry.default_text()});
    return write_default_profile(settings_path(), values);
}

void load_view_settings(Settings& s) { load_group(group::view, s); }

void load_function_settings(Settings& s) { load_group(group::function, s); }

bool save_view_settings(const Settings& s, std::string_view open_header) {
    return save_group(group::view, s, open_header);
}

bool save_function_settings(const Settings& s, std::string_view dangerous_extensions) {
    return save_group(group::function, s, dangerous_extensions);
}

std::string read_open_header_list(std::string_view default_value) { return read_list("open header", default_value); }

std::string read_dangerous_extensions() {
    return read_list("dangerous extension", default_dangerous_extensions);
}

void set_default_colours(Settings& s) {
    for (const setting_key& entry : setting_keys) {
        if (entry.kind == form::colour) s.*entry.tint = parse_color(entry.fixed_default);
    }
}

colour parse_color(std::string_view text) {
    auto low_byte = [](int number) { return static_cast<colour>(static_cast<unsigned char>(number)); };
    colour red = low_byte(leading_int(text));
    colour green = 0, blue = 0;
    std::size_t first = text.find(':');
    if (first != std::string_view::npos) {
        green = low_byte(leading_int(text.substr(first + 1)));
        std::size_t second = text.find(':', first + 1);
        if (second != std::string_view::npos) blue = low_byte(leading_int(text.substr(second + 1)));
    }
    return red | green << 8 | blue << 16;
}

std::string format_color(colour value) {
    return std::to_string(value & 0xff) + ":" + std::to_string(value >> 8 & 0xff) + ":" +
           std::to_string(value >> 16 & 0xff);
}

}  // namespace qm
