#include "app/icons.h"

#include <array>
#include <string_view>

#include <QString>

#include "navigator/command_ids.h"

// The resources of a static library are not registered by themselves; this
// registers them once before the first icon is made. It has to stand outside
// every namespace, where the resource's initialiser is declared.
static void register_icon_resources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace qm {

namespace {

struct themed_icon {
    int command;                  // 0 for a row icon
    std::string_view theme_name;  // freedesktop icon name; "" where none fits
    std::string_view file;        // our picture, resources/icons/<file>.svg
};

// One line per toolbar command, in toolbar order. No name of the icon
// naming standard fits "open with all headers" or "move to a folder"
// (Adwaita draws document-properties as a wrench and go-jump as a dotted
// arrow), so those two are always ours. edit-rename, view-filter and
// trash-empty are not in the standard; they are the names under which the
// themes that have such icons keep them.
constexpr std::array<themed_icon, cmd::toolbar_last - cmd::toolbar_first + 1> command_icons{{
    {cmd::open, "document-open", "open"},
    {cmd::open_all_headers, "", "open-all-headers"},
    {cmd::address_list, "x-office-address-book", "address-list"},
    {cmd::attachment_list, "mail-attachment", "attachment-list"},
    {cmd::reply, "mail-reply-sender", "reply"},
    {cmd::forward, "mail-forward", "forward"},
    {cmd::resend, "", "resend"},  // mail-send is the send command's
    {cmd::move, "", "move"},
    {cmd::rename, "edit-rename", "rename"},
    {cmd::to_trash, "user-trash", "to-trash"},
    {cmd::new_folder, "folder-new", "new-folder"},
    {cmd::new_mail, "mail-message-new", "new-mail"},
    {cmd::select_all, "edit-select-all", "select-all"},
    {cmd::send_receive, "mail-send-receive", "send-receive"},
    {cmd::send_receive_all, "view-refresh", "send-receive-all"},
    {cmd::arrange, "view-filter", "arrange"},
    {cmd::empty_trash, "trash-empty", "empty-trash"},
    {cmd::root_folder, "go-top", "root-folder"},
    {cmd::parent_folder, "go-up", "parent-folder"},
    {cmd::search_text, "edit-find", "search-text"},
}};

constexpr bool command_icons_in_order() {
    for (std::size_t i = 0; i < command_icons.size(); ++i)
        if (command_icons[i].command != cmd::toolbar_first + static_cast<int>(i)) return false;
    return true;
}
static_assert(command_icons_in_order(), "command_icons is indexed by command - toolbar_first");

// The toolbar's one command beyond its first row of numbers.
constexpr themed_icon send_icon{cmd::send, "mail-send", "send"};

// Indexed by row_icon_kind.
constexpr std::array<themed_icon, 3> row_icons{{
    {0, "folder", "folder"},
    {0, "user-trash", "trash"},
    {0, "text-x-generic", "mail"},
}};

// Indexed by tray phase.
constexpr std::array<std::string_view, tray_phase_count> tray_files{
    "quillmere",      "quillmere-orange", "quillmere-yellow", "quillmere-green",
    "quillmere-cyan", "quillmere-blue",   "quillmere-purple",
};

QString from_ascii(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QIcon bundled_icon(std::string_view file) {
    register_icon_resources();
    return QIcon(QStringLiteral(":/icons/") + from_ascii(file) + QStringLiteral(".svg"));
}

// Only the theme's icon of exactly this name: for a missing name Qt's theme
// lookup drops the name's last "-" part and tries again, so a theme without
// "folder-new" would give a plain folder for the new-folder button.
QIcon theme_or_bundled_icon(const themed_icon& entry) {
    const QString name = from_ascii(entry.theme_name);
    if (!name.isEmpty() && QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name, bundled_icon(entry.file));
    return bundled_icon(entry.file);
}

}  // namespace

QIcon main_icon() {
    return bundled_icon(tray_files[0]);
}

QIcon tray_icon(int phase) {
    const int wrapped = ((phase % tray_phase_count) + tray_phase_count) % tray_phase_count;
    return bundled_icon(tray_files[static_cast<std::size_t>(wrapped)]);
}

QIcon command_icon(int command) {
    if (command == cmd::send) return theme_or_bundled_icon(send_icon);
    if (command < cmd::toolbar_first || command > cmd::toolbar_last) return {};
    return theme_or_bundled_icon(command_icons[static_cast<std::size_t>(command - cmd::toolbar_first)]);
}

QIcon row_icon(row_icon_kind kind) {
    return theme_or_bundled_icon(row_icons[static_cast<std::size_t>(kind)]);
}

}  // namespace qm
