#include "app/treeview_tree.h"

#include <QContextMenuEvent>

#include "app/icons.h"
#include "platform/string_table.h"
#include "store/mail_list.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

constexpr int folder_role = Qt::UserRole + 1;
// Folders nested deeper than this are not followed (a link loop).
constexpr int max_tree_depth = 64;

}  // namespace

std::string folder_of_item(const QTreeWidgetItem* item) {
    if (!item) return {};
    const QByteArray bytes = item->data(0, folder_role).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

treeview_tree::treeview_tree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
        if (!building_ && current) emit folder_chosen(folder_of_item(current));
    });
}

void treeview_tree::add_children(QTreeWidgetItem* parent, const std::string& directory, int depth) {
    if (depth > max_tree_depth) return;
    const std::string& trash = load_string(str::folder_trash);
    for (const std::string& name : folder_tree_children(directory)) {
        auto* item = new QTreeWidgetItem(parent, {qs(name)});
        const std::string path = directory + name + "/";
        item->setData(0, folder_role, QByteArray(path.data(), static_cast<qsizetype>(path.size())));
        item->setIcon(0, row_icon(depth == 0 && name == trash ? row_icon_kind::trash : row_icon_kind::folder));
        add_children(item, path, depth + 1);
    }
}

void treeview_tree::rebuild(std::string_view account_root, std::string_view account_name, std::string_view folder) {
    building_ = true;
    clear();
    auto* root = new QTreeWidgetItem(this, {qs(account_name)});
    const std::string root_path(account_root);
    root->setData(0, folder_role, QByteArray(root_path.data(), static_cast<qsizetype>(root_path.size())));
    root->setIcon(0, row_icon(row_icon_kind::folder));
    add_children(root, root_path, 0);
    root->setExpanded(true);
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

void treeview_tree::paintEvent(QPaintEvent* event) {
    background_.paint(viewport(), font());
    QTreeWidget::paintEvent(event);
}

}  // namespace qm
