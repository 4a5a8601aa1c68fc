#include "navigator/command_table.h"

#include "navigator/command_ids.h"

namespace qm {

command_call decode_command(int id) {
    if (id >= cmd::mark_folder_first && id < cmd::mark_folder_first + cmd::mark_count)
        return {cmd::mark_folder_first, id - cmd::mark_folder_first};
    if (id >= cmd::go_to_mark_first && id < cmd::go_to_mark_first + cmd::mark_count)
        return {cmd::go_to_mark_first, id - cmd::go_to_mark_first};
    if (id >= cmd::sort_first && id < cmd::sort_first + cmd::sort_column_count) return {cmd::sort_first, id - cmd::sort_first};
    if (id >= cmd::address_book_new && id < cmd::template_new + 100) {
        const int base = id / 100 * 100;
        return {base, id == base ? -1 : id - base - 1};
    }
    return {id, -1};
}

int command_of_letter(key_letter letter) {
    switch (letter) {
    case key_letter::select_account:
        return 0;
    case key_letter::mail_menu:
        return cmd::mail_popup;
    case key_letter::new_folder:
        return cmd::new_folder;
    case key_letter::new_mail:
        return cmd::new_mail;
    case key_letter::select_all:
        return cmd::select_all;
    case key_letter::send_receive:
        return cmd::send_receive;
    case key_letter::send_receive_all:
        return cmd::send_receive_all;
    case key_letter::arrange:
        return cmd::arrange;
    case key_letter::empty_trash:
        return cmd::empty_trash;
    case key_letter::sort_menu:
        return cmd::sort_popup;
    case key_letter::search:
        return cmd::search_text;
    }
    return 0;
}

}  // namespace qm
