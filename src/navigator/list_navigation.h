#pragma once

#include <vector>

#include "store/mail_list.h"

namespace qm {

// The keys of the mail list that move the focus. They move only the focus: the selection stays as it is.
enum class nav_key { up, down, page_up, page_down, home, end };

// The row that has the focus after the key, from the row that has it now
// (-1 for none, as if the focus stood just above the first row):
//
//   key        alone                 Shift                   Ctrl
//   Up         -1                    -(page - 1)             nearest "*" row above
//   Down       +1                    +(page - 1)             nearest "*" row below
//   Page Up    -(page - 1)           the first row           nearest "*" row above
//   Page Down  +(page - 1)           the last row            nearest "*" row below
//   Home       the first row, with or without a modifier
//   End        the last row, with or without a modifier
//
// `rows_per_page` is the number of rows the list shows at once; a step of a
// page is at least one row, however small the list is drawn. Moves stop at
// the first and the last row. Ctrl goes before Shift when both are held, and
// stays where it is when no search match ("*") lies in that direction. A
// list of fewer than 2 rows ignores every key.
int moved_focus(const std::vector<mail_row>& rows, int focused, nav_key key, bool shift, bool ctrl,
                int rows_per_page);

// Insert: the indices of every mail row, in order; folder rows are left out
// (their selection stays as it is).
std::vector<int> mail_row_indices(const std::vector<mail_row>& rows);

// Command 215 ("全てを選択"): the selection in which every mail row's state is
// inverted and every folder row keeps its own; indices in order. Indices of
// `selected` outside the rows are dropped.
std::vector<int> inverted_mail_selection(const std::vector<mail_row>& rows, const std::vector<int>& selected);

}  // namespace qm
