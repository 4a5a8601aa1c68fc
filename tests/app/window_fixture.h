#pragma once

// A window over a real mailbox in a temporary data directory.

#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "app/listview_mail.h"
#include "app/modal_hand.h"
#include "app/window_.h"
#include "store/accounts.h"
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
        // A complete account, so the window does not open the account
        // dialog as it does at a first start.
        account_values account;
        account.address = "me@example.com";
        account.pop_server = "pop.example.com";
        account.pop_id = "me";
        account.smtp_server = "smtp.example.com";
        EXPECT_TRUE(create_account(settings().mailbox, sj("標準"), account));
        layout.current = sj("標準/ 受信箱/");
    }
    ~window_test() override {
        set_context(saved_context);
        settings() = saved_settings;
    }

    std::string account_dir() const { return dir / "mailbox/標準/"; }
    std::string drafts() const { return account_dir() + " 送信箱/草稿/"; }
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
    // The list once the folder's rows have arrived from the worker.
    listview_mail& list() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->reading(); }, 10000));
        return *window->mail_list();
    }
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

    temp_dir dir;
    Layout layout;
    std::unique_ptr<window_> window;
    const program_context saved_context = context();
    const Settings saved_settings = settings();
};

}  // namespace qm::test
