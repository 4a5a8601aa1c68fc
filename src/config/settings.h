#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The user's preferences ("quillmere.ini" in the data directory). The view
// group (list, panes, font, colours) and the function group (automatic
// arranging, the check interval, the mailbox, the viewer and editor, the key
// letters) are each loaded and saved as a whole. The header names kept when
// a mail is opened and the extensions warned about are not kept in the
// record: they are read from the file at each use, and handed to the savers
// of their groups.

inline constexpr int colour_count = 6;
inline constexpr int key_letter_count = 11;
inline constexpr std::size_t font_text_capacity = 128;
inline constexpr std::size_t path_setting_capacity = 256;
inline constexpr std::size_t open_header_capacity = 4094;
inline constexpr std::size_t dangerous_extension_capacity = 32768;
inline constexpr int max_check_interval = 1440;  // minutes
inline constexpr int default_download_limit_mb = 100;
inline constexpr int max_download_limit_mb = 4096;

// The keyboard commands the key letters give, in the order of
// Settings::keys; the settings file names each by its key in section "key".
enum class key_letter : int {
    select_account,
    mail_menu,
    new_folder,
    new_mail,
    select_all,
    send_receive,
    send_receive_all,
    arrange,
    empty_trash,
    sort_menu,
    search,
};
inline constexpr std::array<std::string_view, 11> key_letter_setting_names = {
    "select account", "open menu mail", "make directory", "make mail",      "mark all", "connect",
    "connect round",  "arrange",        "clear trash",    "open menu sort", "search"};
inline constexpr std::string_view default_key_letters = "DFKNACMGTSR";
static_assert(default_key_letters.size() == key_letter_setting_names.size());
inline constexpr std::string_view default_open_header = "Bcc,Cc,Date,From,Reply-To,Resent-,Sender,Subject,To,X-Mailer";
inline constexpr std::string_view default_dangerous_extensions = ".bat.cmd.com.exe.lnk.pif.reg.scr";

// A colour as 0x00BBGGRR: red in the low byte.
using colour = std::uint32_t;

struct Settings {
    // View group.
    bool list_thread = false;
    bool view_tree = true;
    bool view_preview = true;
    std::string font_name;
    int font_size = -12;  // font height as the font chooser gives it
    int font_point = 9;
    int font_weight = 400;
    bool font_italic = false;
    std::string font_style;
    colour back_ground = 0, back_text = 0, text_directory = 0, text_search = 0, text_new = 0, text_normal = 0;

    // Function group.
    bool arrange_at_receive = false;
    bool arrange_at_send = false;
    bool arrange_at_terminate = false;
    bool tell_remain = true;
    bool clear_trash = false;
    int check_interval = 0;  // minutes; 0 is off
    int download_limit = default_download_limit_mb;  // MB: a larger message stays on the server
    std::string mailbox;     // the mailbox root, ends with "/"
    std::string text_viewer;
    std::string text_editor;
    std::string keys = std::string(default_key_letters);  // 11 letters; 0 for a letter switched off
};

// The process-wide settings.
Settings& settings();

std::string settings_path();

// The mailbox root that a value of the "mailbox" setting names: "/"
// separators and a final "/"; a relative value lies in the data directory,
// an empty one is the default "mailbox/" there.
std::string mailbox_root_of(std::string_view setting);

// Where the mailbox is, as "quillmere.ini" says now: the one answer every
// command and the window go by. Reads the file and makes nothing.
std::string mailbox_root();

// Writes "quillmere.ini" with every default when it is missing: all at once,
// so that a failure leaves no file behind. An existing file is left alone
// (true).
bool write_default_settings();

void load_view_settings(Settings& s);
// The mailbox is not made here (see ensure_mailbox in the store).
void load_function_settings(Settings& s);

// Each writes its group's keys in the order of the file, in one rewrite:
// false, with the file as it was, when that fails. The view group takes the
// open-header list along (joined by commas), the function group the
// dangerous extensions (each with its ".", without separators). Colours are
// written "red:green:blue", paths with "/" separators, a key letter switched
// off as an empty value.
bool save_view_settings(const Settings& s, std::string_view open_header);
bool save_function_settings(const Settings& s, std::string_view dangerous_extensions);

// The header names kept when a mail is opened, joined by commas: the
// options dialog passes the default list, opening a mail passes "" (no
// header is kept unless the user listed some).
std::string read_open_header_list(std::string_view default_value);
// The extensions warned about, each with its ".", without separators.
std::string read_dangerous_extensions();

// Sets the six colours to their defaults (the "標準" of the view options).
void set_default_colours(Settings& s);

// "red:green:blue", each part taken modulo 256; a missing part is 0.
colour parse_color(std::string_view text);
std::string format_color(colour value);

}  // namespace qm
