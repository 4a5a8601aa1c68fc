#include "navigator/list_navigation.h"

#include <algorithm>
#include <cstddef>

namespace qm {

namespace {

// The nearest search match from `from` in `step` direction, not `from`
// itself; `from` when there is none.
int nearest_match(const std::vector<mail_row>& rows, int from, int step) {
    const int count = static_cast<int>(rows.size());
    for (int index = from + step; index >= 0 && index < count; index += step) {
        if (rows[static_cast<std::size_t>(index)].search_match) return index;
    }
    return from;
}

}  // namespace

int moved_focus(const std::vector<mail_row>& rows, int focused, nav_key key, bool shift, bool ctrl,
                int rows_per_page) {
    const int count = static_cast<int>(rows.size());
    if (count < 2) return focused;
    const int first = 0, last = count - 1;
    if (key == nav_key::home) return first;
    if (key == nav_key::end) return last;

    const bool upwards = key == nav_key::up || key == nav_key::page_up;
    const int start = std::clamp(focused, -1, count);
    if (ctrl) return nearest_match(rows, start, upwards ? -1 : 1);
    const bool page_key = key == nav_key::page_up || key == nav_key::page_down;
    if (page_key && shift) return upwards ? first : last;
    // Shift with an arrow, or a page key alone: a page less one row.
    const int step = page_key || shift ? std::max(rows_per_page - 1, 1) : 1;
    return std::clamp(upwards ? start - step : start + step, first, last);
}

std::vector<int> mail_row_indices(const std::vector<mail_row>& rows) {
    std::vector<int> indices;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        if (!rows[index].is_folder()) indices.push_back(static_cast<int>(index));
    }
    return indices;
}

std::vector<int> inverted_mail_selection(const std::vector<mail_row>& rows, const std::vector<int>& selected) {
    std::vector<bool> was_selected(rows.size(), false);
    for (int index : selected) {
        if (index >= 0 && static_cast<std::size_t>(index) < rows.size()) was_selected[static_cast<std::size_t>(index)] = true;
    }
    std::vector<int> result;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const bool now = rows[index].is_folder() ? was_selected[index] : !was_selected[index];
        if (now) result.push_back(static_cast<int>(index));
    }
    return result;
}

}  // namespace qm
