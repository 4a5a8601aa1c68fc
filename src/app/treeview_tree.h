#pragma once

#include <QTreeWidget>

#include "app/background_text.h"
#include "store/folder_tree_listing.h"
#include <string>
#include <string_view>

namespace qm {

// The folder tree of the current account: its name as the root, below it
// every folder of the account directory that does not begin with ".".
class treeview_tree : public QTreeWidget {
    Q_OBJECT
public:
    explicit treeview_tree(QWidget* parent = nullptr);

    // Builds the tree of the account directory `account_root` ("/" at the
    // end) under the name `account_name`, and selects the item of `folder`.
    void rebuild(std::string_view account_root, std::string_view account_name, std::string_view folder);
    // Selects the item of a folder without telling anybody.
    void show_folder(std::string_view folder);

    void set_background_text(const background_text& text);

signals:
    // The user chose a folder (full path, CP932, ending with "/").
    void folder_chosen(const std::string& folder);
    void popup_requested(const QPoint& global_position);
    // The mail list's selected rows, or the folder `folder` of this tree,
    // were dropped on the folder `target`.
    void rows_dropped(const std::string& target);
    void folder_dropped(const std::string& folder, const std::string& target);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void add_children(QTreeWidgetItem* parent, const std::string& directory, int depth);
    QTreeWidgetItem* item_of(std::string_view folder) const;

    bool building_ = false;
    // Large folders are listed again only when they changed.
    folder_listing_memory listings_;
    background_text background_;
};

// The full path a tree item stands for.
std::string folder_of_item(const QTreeWidgetItem* item);

}  // namespace qm
