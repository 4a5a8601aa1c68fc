#include "navigator/navigator.h"

#include "config/folder_names.h"
#include "navigator/folder_marks.h"
#include "platform/file_operations.h"

namespace qm {

namespace {

bool is_mark(int mark) { return mark >= 0 && mark < layout_mark_count; }

std::string_view first_component(std::string_view relative) { return relative.substr(0, relative.find('/')); }

// The folder of `relative` that is there: the account directory, then each
// further component while it names a folder that exists. nullopt when the
// account is not one of the value's.
std::optional<std::string> existing_folder(const navigator& nav, std::string_view relative,
                                           const folder_probe& exists) {
    if (account_index_of(relative, nav.accounts) < 0) return std::nullopt;
    std::string shown = std::string(first_component(relative)) + "/";
    std::size_t start = shown.size();
    while (start < relative.size()) {
        std::size_t slash = relative.find('/', start);
        if (slash == std::string_view::npos) slash = relative.size();
        const std::string_view name = relative.substr(start, slash - start);
        if (!is_listed_folder_name(name)) break;
        std::string deeper = shown + std::string(name) + "/";
        if (!exists(nav.mailbox + deeper)) break;
        shown = std::move(deeper);
        start = slash + 1;
    }
    return shown;
}

// Shows the folder `relative`, whose account is one of the value's.
void show_relative(navigator& nav, const std::string& relative) {
    nav.account = account_index_of(relative, nav.accounts);
    nav.folder = nav.mailbox + relative;
    nav.last_folders[static_cast<std::size_t>(nav.account)] = relative;
}

void show_nothing(navigator& nav) {
    nav.account = -1;
    nav.folder.clear();
}

// The folder shown in the value's accounts after they changed: `relative`
// where that is there, else the first account's root.
void show_kept_or_first(navigator& nav, const std::string& relative, const folder_probe& exists) {
    nav.last_folders.clear();
    for (const std::string& title : nav.accounts) nav.last_folders.push_back(title + "/");
    if (nav.accounts.empty()) return show_nothing(nav);
    std::optional<std::string> kept = existing_folder(nav, relative, exists);
    show_relative(nav, kept ? *kept : nav.last_folders.front());
}

}  // namespace

std::string navigator::account_title() const {
    return has_account() ? accounts[static_cast<std::size_t>(account)] : std::string();
}

std::string navigator::account_root() const { return has_account() ? mailbox + account_title() + "/" : std::string(); }

std::string navigator::relative_folder() const {
    return folder.size() > mailbox.size() ? folder.substr(mailbox.size()) : std::string();
}

bool folder_on_disk(const std::string& folder) { return directory_exists(folder); }

navigator start_navigator(std::string_view mailbox, std::vector<std::string> accounts, const Layout& layout,
                          const folder_probe& exists) {
    navigator nav;
    nav.mailbox = mailbox;
    nav.accounts = std::move(accounts);
    nav.sort = {layout.sort_column, layout.sort_descending};
    nav.marks = layout.marks;
    nav.previous = layout.previous;
    show_kept_or_first(nav, layout.current, exists);
    return nav;
}

void reload_accounts(navigator& nav, std::string_view mailbox, std::vector<std::string> accounts,
                     const folder_probe& exists) {
    const std::string relative = nav.relative_folder();
    nav.mailbox = mailbox;
    nav.accounts = std::move(accounts);
    show_kept_or_first(nav, relative, exists);
}

bool select_account(navigator& nav, int index, const folder_probe& exists) {
    if (index < 0 || static_cast<std::size_t>(index) >= nav.accounts.size()) return false;
    const std::string& last = nav.last_folders[static_cast<std::size_t>(index)];
    std::optional<std::string> shown = existing_folder(nav, last, exists);
    show_relative(nav, shown ? *shown : nav.accounts[static_cast<std::size_t>(index)] + "/");
    return true;
}

bool select_account(navigator& nav, std::string_view title, const folder_probe& exists) {
    for (std::size_t i = 0; i < nav.accounts.size(); ++i) {
        if (nav.accounts[i] == title) return select_account(nav, static_cast<int>(i), exists);
    }
    return false;
}

bool show_folder(navigator& nav, std::string_view folder) {
    const std::string root = nav.account_root();
    if (root.empty() || !folder.starts_with(root) || !folder.ends_with('/')) return false;
    show_relative(nav, std::string(folder.substr(nav.mailbox.size())));
    return true;
}

std::optional<std::string> enter_row(navigator& nav, const mail_row& row) {
    if (!row.folder) return std::nullopt;
    if (row.parent) return go_to_parent(nav);
    if (!show_folder(nav, nav.folder + row.text[column_subject] + "/")) return std::nullopt;
    return std::string();
}

std::optional<std::string> go_to_parent(navigator& nav) {
    if (!nav.has_account() || nav.at_account_root()) return std::nullopt;
    std::string parent = nav.folder.substr(0, nav.folder.size() - 1);
    const std::size_t slash = parent.rfind('/');
    std::string left = parent.substr(slash + 1);
    parent.erase(slash + 1);
    show_folder(nav, parent);
    return left;
}

void go_to_root(navigator& nav) {
    if (nav.has_account()) show_folder(nav, nav.account_root());
}

void set_mark(navigator& nav, int mark) {
    if (!is_mark(mark) || !nav.has_account()) return;
    nav.marks[static_cast<std::size_t>(mark)] = nav.relative_folder();
    nav.previous = nav.relative_folder();
}

bool go_to_mark(navigator& nav, int mark, const folder_probe& exists) {
    if (!is_mark(mark)) return false;
    const std::string target = nav.marks[static_cast<std::size_t>(mark)];
    if (target.empty()) return false;
    const std::string current = nav.relative_folder();
    const bool back = target == current;
    std::optional<std::string> shown = existing_folder(nav, back ? nav.previous : target, exists);
    if (!shown) return false;
    if (!back) nav.previous = current;
    show_relative(nav, *shown);
    return true;
}

void account_renamed(navigator& nav, std::string_view old_title, std::string_view new_title) {
    std::string relative = nav.relative_folder();
    rename_account_in_path(relative, old_title, new_title);
    for (std::string& title : nav.accounts) {
        if (title == old_title) title = new_title;
    }
    for (std::string& last : nav.last_folders) rename_account_in_path(last, old_title, new_title);
    for (std::string& mark : nav.marks) rename_account_in_path(mark, old_title, new_title);
    rename_account_in_path(nav.previous, old_title, new_title);
    if (nav.has_account()) nav.folder = nav.mailbox + relative;
}

std::optional<std::string> drop_target(const navigator& nav, const mail_row* row) {
    if (!nav.has_account()) return std::nullopt;
    if (!row) return nav.folder;
    if (!row->folder) return std::nullopt;
    if (!row->parent) return nav.folder + row->text[column_subject] + "/";
    if (nav.at_account_root()) return std::nullopt;
    const std::string parent = nav.folder.substr(0, nav.folder.size() - 1);
    return parent.substr(0, parent.rfind('/') + 1);
}

std::string row_key(const mail_row& row) { return row.folder ? row.text[column_subject] : row.text[column_number]; }

int focus_after_refill(const std::vector<mail_row>& rows, std::string_view keep) {
    if (rows.empty()) return -1;
    for (std::size_t i = 0; i < rows.size() && !keep.empty(); ++i) {
        if (row_key(rows[i]) == keep) return static_cast<int>(i);
    }
    return 0;
}

void store_in_layout(const navigator& nav, Layout& layout) {
    layout.current = nav.relative_folder();
    layout.sort_column = nav.sort.column;
    layout.sort_descending = nav.sort.descending;
    layout.marks = nav.marks;
    layout.previous = nav.previous;
}

}  // namespace qm
