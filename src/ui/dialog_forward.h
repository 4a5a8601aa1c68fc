#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "platform/reporter.h"
#include "store/compose.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace qm {

// "転送": the recipient of a forward, typed or chosen as in the new-mail
// dialog and checked the same way, and "添付ファイルも転送" (on when the mail
// has attachments, and only then to be had). OK makes the forward (the
// message's sender lines and text, with its attachments when asked) in the
// drafts folder,
// marks the message forwarded and opens the forward in the text editor; a
// forward that cannot be made has been reported, and the dialog stays open.
class dialog_forward : public QDialog {
    Q_OBJECT
public:
    // `source_message_dir` is the forwarded message's directory (ending
    // with "/").
    dialog_forward(QWidget* parent, const compose_context& ctx, std::string_view source_message_dir,
                   reporter& report);

    QComboBox* recipient_field() const { return recipient_; }
    QCheckBox* attachments_box() const { return attachments_; }
    QPushButton* ok_button() const { return ok_; }
    // The forward's number in the drafts folder, after the dialog was
    // accepted; -1 before.
    int draft_number() const { return draft_number_; }

    void accept() override;

private:
    compose_context ctx_;
    std::string source_;
    reporter& report_;
    QComboBox* recipient_;
    QCheckBox* attachments_;
    QPushButton* ok_ = nullptr;
    int draft_number_ = -1;
};

// Command 208: the forward dialog for the message in `source_message_dir`.
// The forward's number in the drafts folder, or -1 when the user cancelled
// or there is nothing to forward: a message that cannot be read (the file
// error) or has no text part ("このメールにはtext/plainコンテンツが存在しません.")
// is told through `report` before any recipient is asked for.
int run_forward_dialog(QWidget* parent, const compose_context& ctx, std::string_view source_message_dir,
                       reporter& report);

}  // namespace qm
