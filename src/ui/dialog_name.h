#pragma once

#include <QDialog>
#include <cstddef>
#include <string>
#include <string_view>

class QLineEdit;
class QPushButton;

namespace qm {

// The one-line name dialog: a title, one field limited in CP932 bytes, OK
// and Cancel. OK is enabled once the text differs from the one the dialog
// opened with; unless empty text is allowed, it must not be empty either.
// Typed characters CP932 cannot hold are refused with a notice and the
// dialog stays open.
class dialog_name : public QDialog {
    Q_OBJECT
public:
    dialog_name(QWidget* parent, std::string_view title, std::string_view initial, std::size_t byte_limit,
                bool empty_allowed);

    // The text taken (CP932), after the dialog was accepted.
    const std::string& text() const { return text_; }
    QLineEdit* field() const { return field_; }

    void accept() override;

private:
    void limit_and_update(const QString& typed);

    QLineEdit* field_;
    QPushButton* ok_;
    QString initial_;
    std::size_t byte_limit_;
    bool empty_allowed_;
    std::string text_;
};

// The search text (at most 127 bytes): "検索文字列?". An empty text clears
// the search. True, with the new text, on OK.
bool ask_search_text(QWidget* parent, std::string& search_text);

}  // namespace qm
