#include "ui/dialog_folder_choice.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/account_settings.h"
#include "platform/string_table.h"
#include "store/folder_tree_listing.h"
#include "ui/qt_text.h"
#include "ui/ok_cancel_row.h"

namespace qm {

namespace {

constexpr int path_role = Qt::UserRole + 1;
// Deeper folders are not followed (a link loop).
constexpr int max_depth = 64;

void set_path(QTreeWidgetItem* item, const std::string& path) {
    item->setData(0, path_role, QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string path_of(const QTreeWidgetItem* item) {
    const QByteArray bytes = item->data(0, path_role).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void add_folders(QTreeWidgetItem* parent, const std::string& directory, int depth) {
    if (depth > max_depth) return;
    for (const std::string& name : folder_tree_children(directory)) {
        auto* item = new QTreeWidgetItem(parent, {qs(name)});
        set_path(item, directory + name + "/");
        add_folders(item, directory + name + "/", depth + 1);
    }
}

}  // namespace

std::optional<std::string> choose_folder(QWidget* parent, std::string_view mailbox, std::string_view account_root) {
    QDialog dialog(parent);
    dialog.setWindowTitle(qs(load_string(str::move_target_title)));
    auto* tree = new QTreeWidget(&dialog);
    tree->setHeaderHidden(true);
    tree->setAccessibleName(dialog.windowTitle());
    const std::string root(mailbox);
    for (const std::string& account : list_accounts(root)) {
        auto* item = new QTreeWidgetItem(tree, {qs(account)});
        set_path(item, root + account + "/");
        add_folders(item, root + account + "/", 0);
        if (root + account + "/" == account_root) {
            item->setExpanded(true);
            tree->setCurrentItem(item);
        }
    }
    QDialogButtonBox* buttons = ok_cancel_buttons(&dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(tree);
    layout->addWidget(buttons);
    dialog.resize(360, 420);
    QObject::connect(tree, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto update_ok = [&] { buttons->button(QDialogButtonBox::Ok)->setEnabled(tree->currentItem() != nullptr); };
    QObject::connect(tree, &QTreeWidget::currentItemChanged, &dialog, update_ok);
    update_ok();
    if (dialog.exec() != QDialog::Accepted || !tree->currentItem()) return std::nullopt;
    return path_of(tree->currentItem());
}

}  // namespace qm
