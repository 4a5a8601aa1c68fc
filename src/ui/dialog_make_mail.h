#pragma once

#include <QDialog>
#include <string>

#include "platform/reporter.h"
#include "store/compose.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace qm {

// What a new mail starts with besides the account's template and signature
// (CP932): the recipient and subject the fields show at first, and the text
// the body begins with (lines ended by line feeds), after the template's
// body and before the signature. A mailto: link gives all three.
struct new_mail_start {
    std::string recipient, subject, body;
};

// "新規メール作成": a template ("なし" or one of the account's), the recipient
// (an address typed, or an address-book entry or group chosen from the
// list), the subject and a signature ("なし" or one of the account's; the
// choice is disabled when the account has none).
//
// OK refuses a recipient that is neither a group, an entry nor a valid
// address with "無効なメールアドレスです.", the focus back on it. It then
// makes the draft in the drafts folder and opens it in the text editor; a
// draft that cannot be made has been reported, and the dialog stays open.
class dialog_make_mail : public QDialog {
    Q_OBJECT
public:
    dialog_make_mail(QWidget* parent, const compose_context& ctx, reporter& report, new_mail_start start = {});

    QComboBox* template_choice() const { return template_; }
    QComboBox* recipient_field() const { return recipient_; }
    QLineEdit* subject_field() const { return subject_; }
    QComboBox* signature_choice() const { return signature_; }
    QPushButton* ok_button() const { return ok_; }
    // The new draft's number in the drafts folder, after the dialog was
    // accepted; -1 before.
    int draft_number() const { return draft_number_; }

    void accept() override;

private:
    compose_context ctx_;
    reporter& report_;
    std::string body_;
    QComboBox* template_;
    QComboBox* recipient_;
    QLineEdit* subject_;
    QComboBox* signature_;
    QPushButton* ok_ = nullptr;
    int draft_number_ = -1;
};

// Command 214: the new-mail dialog for the account of `ctx`. The new draft's
// number in the drafts folder, or -1 when the user cancelled (every failure
// on the way has been shown through `report`).
int run_make_mail_dialog(QWidget* parent, const compose_context& ctx, reporter& report);
// The same, the fields and the body starting with `start`.
int run_make_mail_dialog(QWidget* parent, const compose_context& ctx, const new_mail_start& start,
                         reporter& report);

}  // namespace qm
