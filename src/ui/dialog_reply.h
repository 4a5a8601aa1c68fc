#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "platform/reporter.h"
#include "store/compose.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace qm {

// "返信": a reply to a received message. A template, the subject ("Re: " and
// the message's subject, whose own leading "Re:" is dropped, so that replies
// never stack it), a signature, "本文を引用" (on at first) and "全員に返信",
// which is enabled only when the message's To or Cc name anyone besides its
// sender. OK makes the reply in the drafts folder, marks the message
// replied and opens the reply in the text editor; a reply that cannot be
// made has been reported, and the dialog stays open.
class dialog_reply : public QDialog {
    Q_OBJECT
public:
    // `source_message_dir` is the replied-to message's directory (ending
    // with "/").
    dialog_reply(QWidget* parent, const compose_context& ctx, std::string_view source_message_dir,
                 reporter& report);

    QComboBox* template_choice() const { return template_; }
    QLineEdit* subject_field() const { return subject_; }
    QComboBox* signature_choice() const { return signature_; }
    QCheckBox* quote_box() const { return quote_; }
    QCheckBox* reply_to_all_box() const { return reply_to_all_; }
    QPushButton* ok_button() const { return ok_; }
    // The reply's number in the drafts folder, after the dialog was
    // accepted; -1 before.
    int draft_number() const { return draft_number_; }

    void accept() override;

private:
    compose_context ctx_;
    std::string source_;
    reporter& report_;
    QComboBox* template_;
    QLineEdit* subject_;
    QComboBox* signature_;
    QCheckBox* quote_;
    QCheckBox* reply_to_all_;
    QPushButton* ok_ = nullptr;
    int draft_number_ = -1;
};

// Command 207: the reply dialog for the message in `source_message_dir`.
// The reply's number in the drafts folder, or -1 when the user cancelled or
// the message cannot be read (told through `report`, the dialog not shown).
int run_reply_dialog(QWidget* parent, const compose_context& ctx, std::string_view source_message_dir,
                     reporter& report);

}  // namespace qm
