#pragma once

#include <QDialog>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

// Names and subjects typed into a name dialog are at most this many bytes.
inline constexpr std::size_t name_field_limit = 255;

// The one-line name dialog: a title, one field limited in CP932 bytes, OK
// and Cancel. OK is enabled once the text differs from the one the dialog
// opened with; unless empty text is allowed, it must not be empty either.
// Typed characters CP932 cannot hold are refused with a notice and the
// dialog stays open; so does a text the check refuses (the check has said
// why).
class dialog_name : public QDialog {
    Q_OBJECT
public:
    using check = std::function<bool(const std::string&)>;

    dialog_name(QWidget* parent, std::string_view title, std::string_view initial, std::size_t byte_limit,
                bool empty_allowed, check accept_check = {});

    // The text taken (CP932), after the dialog was accepted.
    const std::string& text() const { return text_; }
    QLineEdit* field() const { return field_; }
    // Why OK is off for the text typed; empty while it is on or the reason is plain.
    QString reason() const;

    // A rule checked while typing: a text it refuses keeps OK off and the
    // string `reason` shows below the field and in its tip.
    void set_rule(std::function<bool(std::string_view)> acceptable, int reason);

    void accept() override;

private:
    void limit_and_update(const QString& typed);

    QLineEdit* field_;
    QLabel* hint_;
    QPushButton* ok_;
    std::function<bool(std::string_view)> acceptable_;
    int reason_ = 0;
    QString initial_;
    std::size_t byte_limit_;
    bool empty_allowed_;
    check check_;
    std::string text_;
};

// Asks for a name (CP932, at most `byte_limit` bytes) that `accept_check`
// takes; nullopt when the user cancels.
std::optional<std::string> ask_name(QWidget* parent, std::string_view title, std::string_view initial,
                                    std::size_t byte_limit, const dialog_name::check& accept_check);

// The same for a folder name: a name no folder may have keeps OK off, with
// the folder-name rules shown while it is typed.
std::optional<std::string> ask_folder_name(QWidget* parent, std::string_view title, std::string_view initial,
                                           const dialog_name::check& accept_check);

// The search text (at most 127 bytes): "検索文字列?". An empty text clears
// the search. True, with the new text, on OK.
bool ask_search_text(QWidget* parent, std::string& search_text);

// Keeps what was typed into the field within `byte_limit` CP932 bytes: the
// longest beginning that fits stays, never half a character. For the
// field's textEdited signal, so that typing and pasting past the limit stop
// at it.
void keep_within_bytes(QLineEdit* field, std::size_t byte_limit);

}  // namespace qm
