#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

// Answers the modal windows the program opens, in order: each answer gets
// the window and does what a user would (types a name, presses a button).
// One beyond the queue goes to `otherwise`: by default a failure, and the
// window cancelled rather than left waiting. The texts of the message boxes
// seen are kept.
class modal_hand {
public:
    using answer = std::function<void(QWidget*)>;

    modal_hand() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start(5);
    }
    void then(answer a) { answers_.push_back(std::move(a)); }
    // A dialog of this type, handed to `act` (a failure when it is another one).
    template <class dialog_type, class act_type>
    void then_dialog(act_type act) {
        then([act](QWidget* w) {
            auto* dialog = qobject_cast<dialog_type*>(w);
            ASSERT_NE(dialog, nullptr) << w->windowTitle().toStdString();
            act(*dialog);
        });
    }
    // A message box answered with OK (or Cancel, where it has one).
    void then_box(bool ok = true) { then([ok](QWidget* w) { click(w, ok); }); }
    // A name dialog given this text (UTF-8) and OK.
    void then_name(const std::string& text) {
        then([text](QWidget* w) {
            auto* field = w->findChild<QLineEdit*>();
            if (!field) return;
            field->setText(QString::fromStdString(text));
            emit field->textEdited(field->text());
            qobject_cast<QDialog*>(w)->accept();
        });
    }
    static void click(QWidget* w, bool ok) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return;
        QAbstractButton* cancel = box->button(QMessageBox::Cancel);
        QAbstractButton* button = ok || !cancel ? box->button(QMessageBox::Ok) : cancel;
        if (button) button->click();
        else box->reject();
    }
    const std::vector<std::string>& boxes() const { return boxes_; }
    std::vector<std::string> take_boxes() { return std::exchange(boxes_, {}); }
    // Every queued answer given and no modal window left.
    bool finished() {
        return QTest::qWaitFor([&] { return answers_.empty() && !QApplication::activeModalWidget(); }, 10000);
    }

    answer otherwise = [](QWidget* w) {
        ADD_FAILURE() << "unexpected window: " << w->windowTitle().toStdString();
        if (auto* dialog = qobject_cast<QDialog*>(w)) qobject_cast<QMessageBox*>(w) ? click(w, false) : dialog->reject();
    };

private:
    // A modal window is answered when it comes to the top: when it opens,
    // and again when a box over it has gone. The answer runs from its own
    // event, so that a box it opens in turn can be answered too.
    void look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == previous_.data()) return;
        previous_ = modal;
        if (!modal) return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) boxes_.push_back(box->text().toStdString());
        if (answers_.empty() && !otherwise) return;
        const bool queued = !answers_.empty();
        answer a = queued ? std::move(answers_.front()) : otherwise;
        if (queued) answers_.pop_front();
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, [a = std::move(a), target, queued] {
            if (target && (queued || target->isVisible())) a(target);
        });
    }

    QTimer timer_;
    std::deque<answer> answers_;
    std::vector<std::string> boxes_;
    // Held weakly: a dialog made after this one has gone may get its address.
    QPointer<QWidget> previous_;
};

}  // namespace qm::test
