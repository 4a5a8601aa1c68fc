#pragma once

#include "config/settings.h"

namespace qm {

// What a command number stands for. The numbers of the ranges (marks,
// sort orders, the entries of the settings menu's lists) are one command
// each with an index.
struct command_call {
    int command = 0;  // the range's first number, or the number itself
    int index = -1;   // within the range: the mark, the column, the entry (-1: "new")
};
command_call decode_command(int id);

// The command a key letter gives; 0 for "select account", which the window
// answers by opening the account selector.
int command_of_letter(key_letter letter);

}  // namespace qm
