// The settings and help menus of the window: the option dialogs take effect
// at once, accounts come and go with the selector following, and the manual
// goes to xdg-open.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <cstdlib>

#include "app/edit_preview.h"
#include "app/typing.h"
#include "store/command_ids.h"
#include "support/recording_program.h"
#include "ui/dialog_account.h"
#include "ui/dialog_option_view.h"
#include "window_fixture.h"

namespace qm::test {
namespace {

using WindowSettings = window_test;

TEST_F(WindowSettings, PreviewOffPutsTheMailBehindTheListAtOnceAndAtTheNextStart) {
    mail(" 受信箱/", 1, "会議", "来週の会議は水曜です. 場所は本社の三階の大会議室で、時間は午前十時から正午までを予定しています.");
    open();
    click_row(row_of("会議"));
    ASSERT_TRUE(window->preview()->isVisible());
    EXPECT_TRUE(window->preview()->toPlainText().contains(QString::fromUtf8("水曜")));
    EXPECT_FALSE(list().background().shown);

    modal_hand hand;
    hand.then_dialog<dialog_option_view>([](dialog_option_view& dialog) {
        dialog.preview_check()->setChecked(false);
        dialog.accept();
    });
    window->on_command(cmd::view_options);
    ASSERT_TRUE(hand.finished());
    EXPECT_FALSE(settings().view_preview);
    EXPECT_NE(read_bytes(dir / "quillmere.ini").find("preview=-"), std::string::npos)
        << read_bytes(dir / "quillmere.ini");
    for (int start : {1, 2}) {
        if (start == 2) {
            window.reset();
            open();
            list().set_focused_row(row_of("会議"));
            QApplication::processEvents();
        }
        EXPECT_FALSE(window->preview()->isVisible()) << start;
        EXPECT_TRUE(list().background().shown) << start;
        EXPECT_TRUE(list().background().text.contains(QString::fromUtf8("水曜"))) << start;
        // A line longer than the tree is wide goes on behind the list.
        const QImage image = list().viewport()->grab().toImage();
        const QRgb ink = list().background().colour.rgb();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) inked += image.pixel(x, y) == ink;
        EXPECT_GT(inked, 0) << start;
    }
}

TEST_F(WindowSettings, AnAccountMadeAndDeletedFromTheMenuComesAndGoesInTheSelector) {
    open();
    ASSERT_EQ(window->account_selector()->count(), 1);
    modal_hand hand;
    hand.then_dialog<dialog_account>([](dialog_account& dialog) {
        type_into(dialog.title_field(), "work");
        type_into(dialog.address_field(), "me@work.example");
        type_into(dialog.pop_server_field(), "pop.work.example");
        type_into(dialog.pop_id_field(), "me");
        type_into(dialog.smtp_server_field(), "smtp.work.example");
        QTest::mouseClick(dialog.ok_button(), Qt::LeftButton);
    });
    window->on_command(cmd::account_new);
    ASSERT_TRUE(hand.finished());
    ASSERT_EQ(window->account_selector()->count(), 2);
    const int work = window->account_selector()->findText("work");
    ASSERT_GE(work, 0);
    EXPECT_TRUE(exists(dir / "mailbox/work/account.ini"));

    hand.then_dialog<dialog_account>([](dialog_account& dialog) {
        EXPECT_EQ(dialog.title_field()->text(), "work");
        dialog.delete_button()->click();
    });
    hand.then_box();
    hand.then_box();
    window->on_command(cmd::account_new + 1 + work);
    ASSERT_TRUE(hand.finished());
    EXPECT_EQ(hand.boxes(), (names{"削除しますか?", "以下全てのメールが削除されますがよろしいですか?"}));
    EXPECT_FALSE(exists(dir / "mailbox/work"));
    ASSERT_EQ(window->account_selector()->count(), 1);
    EXPECT_EQ(window->account_selector()->currentText(), QString::fromUtf8("標準"));
}

TEST_F(WindowSettings, TheManualGoesToXdgOpen) {
    write_bytes(dir / "quillmere.htm", "<html></html>");
    recording_program opener{dir / "path/xdg-open", dir / "opened"};
    const std::string path = dir / "path:" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "");
    scoped_env search{"PATH", path.c_str()};
    open();
    window->on_command(cmd::manual);
    EXPECT_EQ(opener.wait_for_runs(1), std::vector<std::vector<std::string>>{{dir / "quillmere.htm"}});
}

}  // namespace
}  // namespace qm::test
