#pragma once

namespace qm::cmd {

// The numbers of the main window's commands. Menu items, toolbar buttons,
// pop-up menus and keys share them, so that one command is one number
// wherever it is given.

inline constexpr int close = 200;
inline constexpr int refresh_all = 201;
inline constexpr int select_account = 202;
inline constexpr int open = 203;
inline constexpr int open_all_headers = 204;
inline constexpr int address_list = 205;
inline constexpr int attachment_list = 206;
inline constexpr int reply = 207;
inline constexpr int forward = 208;
inline constexpr int resend = 209;
inline constexpr int move = 210;
inline constexpr int rename = 211;
inline constexpr int to_trash = 212;
inline constexpr int new_folder = 213;
inline constexpr int new_mail = 214;
inline constexpr int select_all = 215;
inline constexpr int send_receive = 216;
inline constexpr int send_receive_all = 217;
inline constexpr int arrange = 218;
inline constexpr int empty_trash = 219;
inline constexpr int root_folder = 220;
inline constexpr int parent_folder = 221;
inline constexpr int search_text = 222;
inline constexpr int mark_folder_first = 223;  // 223-234: mark the current folder as mark 1-12
inline constexpr int go_to_mark_first = 235;   // 235-246: go to mark 1-12
inline constexpr int view_options = 251;
inline constexpr int function_options = 252;
inline constexpr int arrange_rules = 253;
inline constexpr int manual = 254;
inline constexpr int about = 255;
inline constexpr int mail_popup = 257;
inline constexpr int sort_popup = 258;
inline constexpr int sort_first = 259;  // 259-264: sort by column 0-5
inline constexpr int tree_rename = 265;
inline constexpr int tree_new_folder = 266;
// Sends the chosen drafts: into the outbox, then the send round.
inline constexpr int send = 267;
inline constexpr int tray_open = 273;
inline constexpr int tray_exit = 274;
inline constexpr int address_book_new = 300;  // 301-399: address book n
inline constexpr int group_new = 400;         // 401-499: group n
inline constexpr int account_new = 500;       // 501-599: account n
inline constexpr int signature_new = 600;     // 601-699: signature n
inline constexpr int template_new = 700;      // 701-799: template n

inline constexpr int mark_count = 12;
inline constexpr int sort_column_count = 6;

// The toolbar's buttons are the commands from `open` to `search_text`; its
// tool tips are the string-table texts from this number on, in command
// order.
inline constexpr int toolbar_first = open;
inline constexpr int toolbar_last = search_text;
inline constexpr int toolbar_tip_first_string = 74;

}  // namespace qm::cmd
