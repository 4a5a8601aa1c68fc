#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/reporter.h"

namespace qm {

// The user's preferences ("quillmere.ini" in the data directory). The view
// group (list, panes, font, colours) and the function group (automatic
// arranging, the check interval, the mailbox, the viewer and editor, the key
// letters) are each loaded and saved as a whole. The header names kept when
// a mail is opened and the extensions warned about are read from the file at
// each use.

inline constexpr int colour_count = 6;
inline constexpr int key_letter_count = 11;
inline constexpr std::size_t font_text_capacity = 128;
inline constexpr std::size_t path_setting_capacity = 256;
inline constexpr std::size_t open_header_capacity = 4094;
inline constexpr std::size_t dangerous_extension_capacity = 32768;
inline constexpr int max_check_interval = 1440;  // minutes

// The letters of the keyboard commands, in the order of Settings::keys:
// select account, mail menu, new folder, new mail, select all, send and
// receive, round of all accounts, arrange, empty trash, sort menu, search.
inline constexpr std::string_view default_key_letters = "DFKNACMGTSR";
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
    std::string mailbox;     // the mailbox root, ends with "/"
    std::string text_viewer;
    std::string text_editor;
    std::string keys = std::string(default_key_letters);  // 11 letters; 0 for a letter switched off
};

// The process-wide settings.
Settings& settings();

std::string settings_path();

// Writes "quillmere.ini" with every default when it is missing: all at once,
// so that a failure leaves no file behind. An existing file is left alone
// (true).
bool WriteDefaultSettings();

void LoadViewSettings(Settings& s);
// Also makes the mailbox on the first start, with the account
// "標準アカウント" in it; a failure is reported.
void LoadFunctionSettings(Settings& s, reporter& report);

// Each writes its group's keys in order, in one rewrite of the file: false,
// with the file as it was, when that fails. Colours are texts "red:green:blue".
bool SaveViewSettings(bool list_thread, bool view_tree, bool view_preview, std::string_view open_header,
                      std::string_view font_name, int font_size, int font_point, int font_weight, bool font_italic,
                      std::string_view font_style, const std::array<std::string, colour_count>& colours);
// `keys` holds the 11 letters in the order of Settings::keys.
bool SaveFunctionSettings(bool arrange_at_receive, bool arrange_at_send, bool arrange_at_terminate, bool tell_remain,
                          bool clear_trash, int check_interval, std::string_view mailbox, std::string_view text_viewer,
                          std::string_view text_editor, std::string_view dangerous_extensions, std::string_view keys);

// The header names kept when a mail is opened, joined by commas: the
// options dialog passes the default list, opening a mail passes "" (no
// header is kept unless the user listed some).
std::string ReadOpenHeaderList(std::string_view default_value);
// The extensions warned about, each with its ".", without separators.
std::string ReadDangerousExtensions();

// "red:green:blue", each part taken modulo 256; a missing part is 0.
colour ParseColor(std::string_view text);
std::string format_color(colour value);

}  // namespace qm
