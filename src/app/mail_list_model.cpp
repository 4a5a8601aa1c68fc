#include "app/mail_list_model.h"

#include <QMimeData>
#include <utility>

#include "app/icons.h"
#include "platform/string_table.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

QString shown_title(int column) {
    // Blanks only widen a title or say it is right-aligned; they are not shown.
    return qs(mail_column_titles()[static_cast<std::size_t>(column)]).trimmed();
}

bool is_trash_row(const mail_row& row) { return row.folder && row.text[column_subject] == load_string(str::folder_trash); }

}  // namespace

mail_list_model::mail_list_model(QObject* parent)
    : QAbstractTableModel(parent),
      icons_{row_icon(row_icon_kind::folder), row_icon(row_icon_kind::trash), row_icon(row_icon_kind::mail)} {}

std::shared_ptr<const std::vector<mail_row>> mail_list_model::set_rows(std::vector<mail_row> rows) {
    beginResetModel();
    std::shared_ptr<const std::vector<mail_row>> before =
        std::exchange(rows_, std::make_shared<const std::vector<mail_row>>(std::move(rows)));
    focused_ = -1;
    endResetModel();
    return before;
}

const mail_row* mail_list_model::row_at(int index) const {
    return index >= 0 && index < static_cast<int>(rows_->size()) ? &(*rows_)[static_cast<std::size_t>(index)] : nullptr;
}

void mail_list_model::set_thread_column(bool shown) {
    if (shown == thread_column_) return;
    beginResetModel();
    thread_column_ = shown;
    endResetModel();
}

void mail_list_model::set_colours(const colours& c) {
    colours_ = c;
    if (!rows_->empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void mail_list_model::set_transparent_rows(bool transparent, int focused_row) {
    if (transparent == transparent_ && focused_row == focused_) return;
    transparent_ = transparent;
    focused_ = focused_row;
    if (!rows_->empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

int mail_list_model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_->size());
}

int mail_list_model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : (thread_column_ ? visible_column_count : visible_column_count - 1);
}

QColor mail_list_model::text_colour(const mail_row& row) const {
    if (row.folder) return colours_.directory;
    if (row.search_match) return colours_.search;
    if (row.type == '!') return colours_.new_mail;
    return colours_.normal;
}

QVariant mail_list_model::data(const QModelIndex& index, int role) const {
    const mail_row* row = row_at(index.row());
    if (!row || index.column() >= columnCount()) return {};
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == column_subject && !row->subject_as_sent.empty()) return QString::fromStdString(row->subject_as_sent);
        if (index.column() == column_party && !row->party_as_sent.empty()) return QString::fromStdString(row->party_as_sent);
        return qs(row->text[index.column()]);
    case Qt::ForegroundRole:
        return text_colour(*row);
    case Qt::BackgroundRole:
        if (transparent_ && index.row() != focused_) return QColor(Qt::transparent);
        return colours_.background;
    case Qt::TextAlignmentRole:
        return static_cast<int>(is_right_aligned_column(index.column()) ? Qt::AlignRight | Qt::AlignVCenter
                                                                        : Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::DecorationRole:
        if (index.column() != column_attribute) return {};
        return is_trash_row(*row) ? icons_.trash : row->folder ? icons_.folder : icons_.mail;
    default:
        return {};
    }
}

Qt::ItemFlags mail_list_model::flags(const QModelIndex& index) const {
    const mail_row* row = row_at(index.row());
    if (!index.isValid() || !row) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (row->folder) flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QStringList mail_list_model::mimeTypes() const { return {QString::fromLatin1(dragged_rows_type)}; }

QMimeData* mail_list_model::mimeData(const QModelIndexList&) const {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(dragged_rows_type), QByteArray("rows"));
    return data;
}

QVariant mail_list_model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return shown_title(section);
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>(is_right_aligned_column(section) ? Qt::AlignRight | Qt::AlignVCenter
                                                                 : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

}  // namespace qm
