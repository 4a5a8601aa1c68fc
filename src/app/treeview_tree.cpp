#include "app/treeview_tree.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMimeData>
#include <set>

#include "app/drag_moves.h"
#include "app/icons.h"
#include "app/mail_list_model.h"
#include "config/folder_names.h"
#include "platform/string_table.h"
#include "store/folder_tree_listing.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

constexpr int folder_role = Qt::UserRole + 1;
// Folders nested deeper than this are not followed (a link loop).
constexpr int max_tree_depth = 64;
constexpr int auto_expand_ms = 500;

}  // namespace

std::string folder_of_item(const QTreeWidgetItem* item) {
    if (!item) return {};
    const QByteArray bytes = item->data(0, folder_role).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

namespace {

// The last component of the item's path: the folder's own name (CP932).
std::string folder_name_of(const QTreeWidgetItem* item) {
    std::string path = folder_of_item(item);
    if (!path.empty()) path.pop_back();
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

treeview_tree::treeview_tree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    take_part_in_moves_by_drag(this);
    // Holding a drag over a closed folder opens it.
    setAutoExpandDelay(auto_expand_ms);
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
        if (!building_ && current) emit folder_chosen(folder_of_item(current));
    });
}

void treeview_tree::add_children(QTreeWidgetItem* parent, const std::string& directory, int depth) {
    if (depth > max_tree_depth) return;
    const std::string& trash = load_string(str::folder_trash);
    for (const std::string& name : listings_.children(directory)) {
        auto* item = new QTreeWidgetItem(parent, {qs(name)});
        const std::string path = directory + name + "/";
        item->setData(0, folder_role, QByteArray(path.data(), static_cast<qsizetype>(path.size())));
        item->setIcon(0, row_icon(depth == 0 && name == trash ? row_icon_kind::trash : row_icon_kind::folder));
        add_children(item, path, depth + 1);
    }
}

void treeview_tree::rebuild(std::string_view account_root, std::string_view account_name, std::string_view folder) {
    building_ = true;
    // The folders the user opened stay open.
    std::set<std::string> expanded;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if ((*it)->isExpanded()) expanded.insert(folder_of_item(*it));
    }
    clear();
    auto* root = new QTreeWidgetItem(this, {qs(account_name)});
    const std::string root_path(account_root);
    root->setData(0, folder_role, QByteArray(root_path.data(), static_cast<qsizetype>(root_path.size())));
    root->setIcon(0, row_icon(row_icon_kind::folder));
    add_children(root, root_path, 0);
    root->setExpanded(true);
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if (expanded.contains(folder_of_item(*it))) (*it)->setExpanded(true);
    }
    show_folder(folder);
    building_ = false;
}

QTreeWidgetItem* treeview_tree::item_of(std::string_view folder) const {
    QTreeWidgetItem* best = topLevelItemCount() > 0 ? topLevelItem(0) : nullptr;
    QTreeWidgetItemIterator it(const_cast<treeview_tree*>(this));
    for (; *it; ++it) {
        if (folder_of_item(*it) == folder) return *it;
    }
    return best;
}

void treeview_tree::show_folder(std::string_view folder) {
    const bool was_building = building_;
    building_ = true;
    if (QTreeWidgetItem* item = item_of(folder)) {
        setCurrentItem(item);
        scrollToItem(item);
    }
    building_ = was_building;
}

void treeview_tree::set_background_text(const background_text& text) {
    background_ = text;
    viewport()->update();
}

void treeview_tree::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    if (!item) return;
    setCurrentItem(item);
    emit popup_requested(event->globalPos());
}

QStringList treeview_tree::mimeTypes() const {
    return {QString::fromLatin1(dragged_folder_type), QString::fromLatin1(dragged_rows_type)};
}

QMimeData* treeview_tree::mimeData(const QList<QTreeWidgetItem*>& items) const {
    auto* data = new QMimeData;
    const std::string folder = items.isEmpty() ? std::string() : folder_of_item(items.front());
    data->setData(QString::fromLatin1(dragged_folder_type), QByteArray(folder.data(), static_cast<qsizetype>(folder.size())));
    return data;
}

// The account itself and its special folders stay where they are.
void treeview_tree::startDrag(Qt::DropActions actions) {
    QTreeWidgetItem* item = currentItem();
    if (!item || !item->parent() || is_fixed_folder_name(folder_name_of(item))) return;
    QTreeWidget::startDrag(actions);
}

void treeview_tree::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data->hasFormat(QString::fromLatin1(dragged_folder_type)) || data->hasFormat(QString::fromLatin1(dragged_rows_type)))
        QTreeWidget::dragEnterEvent(event);
    else
        event->ignore();
}

void treeview_tree::dropEvent(QDropEvent* event) {
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (!item) return;
    const std::string target = folder_of_item(item);
    if (const std::optional<std::string> folder = dragged_folder_of(event->mimeData()))
        emit folder_dropped(*folder, target);
    else
        emit rows_dropped(target);
}

void treeview_tree::paintEvent(QPaintEvent* event) {
    background_.paint(viewport(), font());
    QTreeWidget::paintEvent(event);
}

}  // namespace qm
