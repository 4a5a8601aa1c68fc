#pragma once

// A window over a real mailbox in a temporary data directory, and the commands it is driven by.

#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "app/listview_mail.h"
#include "app/modal_hand.h"
#include "app/window_.h"
#include "config/account_settings.h"
#include "store/accounts.h"
#include "config/layout.h"
#include "navigator/command_ids.h"
#include "store/store_fixture.h"

namespace qm::test {

// Makes `where` the program's context, with the default settings and an empty mailbox "mailbox/" in
// its data directory.
inline void fresh_data_directory(const program_context& where) {
    set_context(where);
    settings() = Settings{};
    write_default_settings();
    load_view_settings(settings());
    load_function_settings(settings());
    settings().mailbox = where.program_directory + "mailbox/";
    EXPECT_TRUE(make_directory(where.work_directory) && make_directory(settings().mailbox));
}

// An account of a POP3 server on loopback for alice, her password stored unless it is empty.
inline account_values loopback_account(int pop_port, const std::string& password = "s3cret") {
    account_values values;
    values.address = "alice@example.com";
    values.pop_server = values.smtp_server = "127.0.0.1";
    values.pop_port = std::to_string(pop_port);
    values.pop_id = "alice";
    values.pop_password = applied(scramble_password, password);
    return values;
}

// A mailbox with one account whose inbox holds mail, shown in a window.
class window_test : public ::testing::Test {
protected:
    window_test() {
        fresh_data_directory({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        // A complete account without a stored password (nothing checks it for mail), so the window
        // does not open the account dialog as it does at a first start.
        EXPECT_TRUE(create_account(settings().mailbox, sj("標準"), loopback_account(110, "")));
        layout.current = sj("標準/ 受信箱/");
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

    const saved_context saved;
    temp_dir dir;
    Layout layout;
    std::unique_ptr<window_> window;
};

}  // namespace qm::test
