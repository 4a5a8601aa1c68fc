#include "app/list_columns.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <algorithm>
#include <string_view>

#include "app/listview_mail.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

// The thread column's width is never kept.
constexpr int stored_width_columns = 5;
constexpr int column_padding = 16, icon_column_padding = 26;
// What the columns must show whole, in the font of the list.
constexpr std::string_view widest_attribute = "!@RF*";
constexpr std::string_view widest_date = "00.00.00 00:00";
constexpr std::string_view widest_size = "0000000";
// The party column shows about this many characters of a name before it cuts.
constexpr int party_characters = 12;

}  // namespace

list_columns::list_columns(listview_mail* list, Layout& layout) : QObject(list), list_(list), layout_(layout) {
    connect(list_->header(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (applying_) return;
        if (column < stored_width_columns) layout_.column_width[column] = size;
        if (column != column_subject) fit_subject();
    });
    connect(list_, &listview_mail::viewport_resized, this, &list_columns::fit_subject);
}

void list_columns::apply() {
    const QFontMetrics metrics(list_->font());
    const std::vector<std::string>& titles = mail_column_titles();
    auto text_width = [&](std::string_view text) { return metrics.horizontalAdvance(qs(text)); };
    applying_ = true;
    for (int column = 0; column < list_->rows_model().columnCount(); ++column) {
        int width = text_width(titles[static_cast<std::size_t>(column)]);
        switch (column) {
        case column_attribute:
            width = std::max(width, text_width(widest_attribute)) + icon_column_padding;
            break;
        case column_date:
            width = std::max(width, text_width(widest_date)) + column_padding;
            break;
        case column_party:
            width = std::max(width, metrics.horizontalAdvance(QChar(0x3042)) * party_characters) + column_padding;
            break;
        case column_size:
            width = std::max(width, text_width(widest_size)) + column_padding;
            break;
        default:
            width += column_padding;
            break;
        }
        if (column_width_is_users(layout_, column)) width = layout_.column_width[column];
        list_->header()->resizeSection(column, width);
    }
    applying_ = false;
    fit_subject();
}

void list_columns::fit_subject() {
    if (column_width_is_users(layout_, column_subject) || applying_) return;
    QHeaderView* header = list_->header();
    int others = 0;
    for (int column = 0; column < list_->rows_model().columnCount(); ++column)
        if (column != column_subject) others += header->sectionSize(column);
    const int minimum =
        QFontMetrics(list_->font()).horizontalAdvance(qs(mail_column_titles()[column_subject])) + column_padding;
    applying_ = true;
    header->resizeSection(column_subject, std::max(minimum, list_->viewport()->width() - others));
    applying_ = false;
}

}  // namespace qm
