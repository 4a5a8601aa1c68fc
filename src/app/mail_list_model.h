#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <memory>
#include <vector>

#include "store/mail_list.h"

namespace qm {

// What a drag carries: the selected rows of the mail list, or a folder of
// the tree (its path). The window knows which rows are selected.
inline constexpr const char* dragged_rows_type = "application/x-quillmere-rows";
inline constexpr const char* dragged_folder_type = "application/x-quillmere-folder";

// The rows of the folder shown, as the mail list displays them: the texts
// of the core's rows, the colour each row's kind gives it, and an icon. The
// model never takes a text apart; every decision comes from the typed row.
class mail_list_model : public QAbstractTableModel {
    Q_OBJECT
public:
    struct colours {
        QColor background, normal, directory, search, new_mail;
    };

    explicit mail_list_model(QObject* parent = nullptr);

    // The rows shown before are handed back.
    std::shared_ptr<const std::vector<mail_row>> set_rows(std::vector<mail_row> rows);
    const std::vector<mail_row>& rows() const { return *rows_; }
    // The rows shown, kept as they are for a command that runs while the
    // list is filled anew.
    std::shared_ptr<const std::vector<mail_row>> shared_rows() const { return rows_; }
    const mail_row* row_at(int index) const;

    // Five columns, or six with the thread column.
    void set_thread_column(bool shown);
    void set_colours(const colours& c);
    // With the preview hidden, only the focused row paints a background of
    // its own: the text behind the list shows through the others.
    void set_transparent_rows(bool transparent, int focused_row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Dragging: mail and folder rows are dragged; folder rows and the
    // list's empty space (the folder shown) take drops, mail rows refuse
    // them.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

    // The colour of a row's text: folders, then search matches, then new
    // mail, then the normal colour.
    QColor text_colour(const mail_row& row) const;

private:
    std::shared_ptr<const std::vector<mail_row>> rows_ = std::make_shared<const std::vector<mail_row>>();
    bool thread_column_ = false;
    colours colours_;
    bool transparent_ = false;
    int focused_ = -1;
    struct {
        QIcon folder, trash, mail;
    } icons_;
};

}  // namespace qm
