#pragma once

// A window over a real mailbox in a temporary data directory, and a hand
// for the modal boxes and dialogs it opens.

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
#include <memory>

#include "app/listview_mail.h"
#include "app/window_.h"
#include "config/account_settings.h"
#include "config/layout.h"
#include "store/store_fixture.h"

namespace qm::test {

// A mailbox with one account whose inbox holds mail, shown in a window.
class window_test : public ::testing::Test {
protected:
    window_test() {
        set_context({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        settings() = Settings{};
        write_default_settings();
        load_view_settings(settings());
        load_function_settings(settings());
        settings().mailbox = dir.cp("mailbox/");
        make_directory(dir.cp("work/"));
        make_directory(settings().mailbox);
        make_directory(sj(account_dir()));
        make_special_folders(sj(account_dir()));
        // A complete account, so the window does not open the account
        // dialog as it does at a first start.
        account_values account;
        account.address = "me@example.com";
        account.pop_server = "pop.example.com";
        account.pop_id = "me";
        account.smtp_server = "smtp.example.com";
        write_account_file(account_file(settings().mailbox, sj("標準")), account);
        layout.current = sj("標準/ 受信箱/");
    }
    ~window_test() override {
        set_context(saved_context);
        settings() = saved_settings;
    }

    std::string account_dir() const { return dir / "mailbox/標準/"; }
    void mail(const std::string& folder, int number, const std::string& subject, const std::string& body = "本文",
              char type = '!') {
        write_message(account_dir() + folder + "." + std::to_string(number) + "/",
                      {crlf(sj("From: a@example.com\nSubject: " + subject + "\nDate: Mon, 1 Mar 2010 10:0" +
                               std::to_string(number % 10) + ":00 +0900\n")),
                       crlf("\n" + sj(body) + "\n")},
                      type_status(type));
    }
    window_& open() {
        window = std::make_unique<window_>(settings(), layout);
        window->show();
        window->start();
        return *window;
    }
    listview_mail& list() { return *window->mail_list(); }
    std::vector<std::string> subjects() {
        std::vector<std::string> texts;
        for (const mail_row& row : list().rows_model().rows()) texts.push_back(u8(row.text[column_subject]));
        return texts;
    }
    int row_of(const std::string& subject) {
        const std::vector<std::string> all = subjects();
        return static_cast<int>(std::find(all.begin(), all.end(), subject) - all.begin());
    }
    void click_row(int row) {
        const QRect box = list().visualRect(list().rows_model().index(row, 1));
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, box.center());
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(&list(), static_cast<Qt::Key>(key), modifiers);
    }

    temp_dir dir;
    Layout layout;
    std::unique_ptr<window_> window;
    const program_context saved_context = context();
    const Settings saved_settings = settings();
};

// Answers the modal windows the program opens, in order: each answer gets
// the window and does what a user would (types a name, presses a button).
// The texts of the message boxes seen are kept.
class modal_hand {
public:
    using answer = std::function<void(QWidget*)>;

    modal_hand() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start(10);
    }
    void then(answer a) { answers_.push_back(std::move(a)); }
    // A message box answered with OK (or Cancel).
    void then_box(bool ok = true) {
        then([ok](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box) box->button(ok ? QMessageBox::Ok : (box->button(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok))->click();
        });
    }
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
    const std::vector<std::string>& boxes() const { return boxes_; }
    bool done() const { return answers_.empty(); }

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
        if (answers_.empty()) return;
        answer a = std::move(answers_.front());
        answers_.pop_front();
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, [a = std::move(a), target] {
            if (target) a(target);
        });
    }

    QTimer timer_;
    std::deque<answer> answers_;
    std::vector<std::string> boxes_;
    // Held weakly: a dialog made after this one has gone may get its address.
    QPointer<QWidget> previous_;
};

}  // namespace qm::test
