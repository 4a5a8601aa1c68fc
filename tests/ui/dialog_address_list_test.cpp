// The address list of a mail over real message files and a real address
// book: what it shows, what it writes into a draft's header and into
// "address.ini", and what it tells the user.

#include <QHeaderView>

#include "app/typing.h"
#include "config/address_book.h"
#include "entry_dialog_test.h"
#include "ui/dialog_address.h"
#include "ui/dialog_address_edit.h"
#include "ui/dialog_address_regist.h"

namespace qm::test {
namespace {

class AddressListDialog : public data_directory_test {
protected:
    AddressListDialog() { make_directory(message_dir()); }

    std::string message_dir() const { return dir.cp("受信箱/.7/"); }
    void header(const std::string& utf8_crlf) const { write_bytes(dir / "受信箱/.7/0", sj(utf8_crlf)); }
    std::string header_text() const { return u8(read_bytes(dir / "受信箱/.7/0")); }

    static std::vector<std::string> rows(dialog_address& dialog) { return tree_rows(dialog.address_list(), "|"); }
    static void select(dialog_address& dialog, int row) { select_row(dialog.address_list(), row); }
    static void enter(dialog_address_edit& edit, int kind, const std::string& recipient) {
        edit.kind_choice()->setCurrentIndex(kind);
        type_into(edit.recipient_field(), recipient);
        press(edit.ok_button());
    }
};

const std::string received =
    "From: \"Taro Yamada\" <taro@example.jp>\r\n"
    "To: hanako@example.jp, 鈴木 <suzuki@example.jp>\r\n"
    "Cc: jiro@example.jp (次郎)\r\n"
    "Subject: 会議\r\n";

TEST_F(AddressListDialog, ReceivedMailOnlyRegistersItsAddresses) {
    header(received);
    dialog_address dialog(nullptr, message_dir(), false, report);
    look_at(dialog, "記載メールアドレス一覧");
    EXPECT_EQ(rows(dialog), (names{"差出人      (From)|\"Taro Yamada\" <taro@example.jp>",
                                   "宛先        (To)|hanako@example.jp", "宛先        (To)|鈴木 <suzuki@example.jp>",
                                   "写し        (Cc)|jiro@example.jp (次郎)"}));
    const QFontMetrics kind_metrics(dialog.address_list()->topLevelItem(0)->font(0));
    EXPECT_GT(dialog.address_list()->header()->sectionSize(0), kind_metrics.horizontalAdvance(ui("返信先      (Reply-To)")));

    for (QPushButton* button : {dialog.add_button(), dialog.edit_button(), dialog.delete_button()})
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
    EXPECT_TRUE(dialog.register_button()->isEnabled());
    const QList<QAction*> menu = dialog.popup_menu()->actions();  // add, edit, delete, -, register
    ASSERT_EQ(menu.size(), 5);
    EXPECT_FALSE(menu[0]->isEnabled() || menu[1]->isEnabled() || menu[2]->isEnabled());
    EXPECT_TRUE(menu[4]->isEnabled());

    // Neither Enter nor Delete changes received mail.
    select(dialog, 2);
    QTest::keyClick(dialog.address_list(), Qt::Key_Return);
    QTest::keyClick(dialog.address_list(), Qt::Key_Delete);
    EXPECT_TRUE(report.shown.empty());

    // Shift+Enter registers the selected address, its display name offered.
    ASSERT_TRUE(add_address_entry(sj("花子"), "hanako@example.jp"));
    with_modal<dialog_address_regist>([&] { QTest::keyClick(dialog.address_list(), Qt::Key_Return, Qt::ShiftModifier); },
                                      [&](dialog_address_regist& regist) {
                                          look_at(regist, "名前?");
                                          EXPECT_EQ(regist.name_field()->text(), ui("鈴木"));
                                          type_into(regist.name_field(), "花子");
                                          press(regist.ok_button());
                                          EXPECT_TRUE(regist.isVisible());
                                          EXPECT_EQ(regist.focusWidget(), regist.name_field());
                                          type_into(regist.name_field(), "鈴木 (営業)");
                                          press(regist.ok_button());
                                          EXPECT_TRUE(regist.isVisible());
                                          type_into(regist.name_field(), "鈴木");
                                          press(regist.ok_button());
                                          EXPECT_FALSE(regist.isVisible());
                                      });
    EXPECT_EQ(report.texts(), (names{"すでに同名のものが存在します.", "名前に次の文字を含めることはできません.\n    \"(),<>@"}));
    EXPECT_EQ(lookup_address(sj("鈴木")), "suzuki@example.jp");
    EXPECT_EQ(u8(read_bytes(dir / "address.ini")),
              "[花子]\r\naddress=hanako@example.jp\r\n[鈴木]\r\naddress=suzuki@example.jp\r\n");
    EXPECT_EQ(header_text(), received);
    EXPECT_FALSE(dialog.changed());
}

TEST_F(AddressListDialog, AddEditAndDeleteChangeTheDraftsHeader) {
    const std::string draft = "From: taro@example.jp\r\nTo: a@example.jp\r\nSubject: s\r\n";
    header(draft);
    ASSERT_TRUE(add_address_entry(sj("花子"), "hanako@example.jp"));
    ASSERT_TRUE(write_group(sj("営業部"), sj("花子,b@example.jp")));
    bool changed = false;
    with_modal<dialog_address>(
        [&] { changed = run_address_list_dialog(nullptr, message_dir(), true, report); },
        [&](dialog_address& dialog) {
            EXPECT_TRUE(dialog.add_button()->isEnabled());
            with_modal<dialog_address_edit>([&] { press(dialog.add_button()); }, [&](dialog_address_edit& edit) {
                look_at(edit, "新しいアドレス");
                EXPECT_EQ(edit.kind_choice()->currentText(), ui("宛先        (To)"));
                EXPECT_EQ(edit.recipient_choice()->count(), 2);  // the entry and the group
                EXPECT_EQ(edit.recipient_choice()->itemText(1), ui("営業部"));
                EXPECT_FALSE(edit.ok_button()->isEnabled());
                enter(edit, 3, "c@example.jp");
                EXPECT_FALSE(edit.isVisible());
            });
            EXPECT_EQ(header_text(), "From: taro@example.jp\r\nTo: a@example.jp,\r\n c@example.jp\r\nSubject: s\r\n");
            EXPECT_EQ(dialog.address_list()->currentItem()->text(1), "c@example.jp");

            // Enter edits: the new address moves to Cc.
            with_modal<dialog_address_edit>([&] { QTest::keyClick(dialog.address_list(), Qt::Key_Return); },
                                            [&](dialog_address_edit& edit) {
                                                EXPECT_EQ(edit.recipient_field()->text(), "c@example.jp");
                                                EXPECT_FALSE(edit.ok_button()->isEnabled());
                                                enter(edit, 4, "営業部");
                                            });
            EXPECT_EQ(header_text(), "From: taro@example.jp\r\nTo: a@example.jp\r\nSubject: s\r\n"
                                     "Cc: hanako@example.jp,\r\n b@example.jp\r\n");
            EXPECT_EQ(rows(dialog).size(), 4u);
            EXPECT_EQ(dialog.address_list()->currentItem()->text(1), "hanako@example.jp");

            // Delete asks first.
            select(dialog, 1);
            report.answer = false;
            QTest::keyClick(dialog.address_list(), Qt::Key_Delete);
            EXPECT_EQ(rows(dialog).size(), 4u);
            report.answer = true;
            dialog.popup_menu()->actions().at(2)->trigger();
            EXPECT_EQ(report.texts(), (names{"削除しますか?", "削除しますか?"}));
            EXPECT_EQ(header_text(), "From: taro@example.jp\r\nSubject: s\r\nCc: hanako@example.jp,\r\n b@example.jp\r\n");
            EXPECT_EQ(rows(dialog),
                      (names{"差出人      (From)|taro@example.jp", "写し        (Cc)|hanako@example.jp",
                             "写し        (Cc)|b@example.jp"}));
        });
    EXPECT_TRUE(changed);
}

TEST_F(AddressListDialog, AnInvalidAddressIsRefusedWithTheDialogOpen) {
    header("To: a@example.jp\r\n");
    dialog_address dialog(nullptr, message_dir(), true, report);
    dialog.show();
    with_modal<dialog_address_edit>([&] { dialog.popup_menu()->actions().at(0)->trigger(); },
                                    [&](dialog_address_edit& edit) {
                                        for (const char* refused : {"boss@example", "ボス@example.jp"}) {
                                            enter(edit, 5, refused);
                                            EXPECT_TRUE(edit.isVisible());
                                            EXPECT_EQ(edit.focusWidget(), edit.recipient_choice());
                                        }
                                        enter(edit, 5, "boss@example.jp");
                                        EXPECT_FALSE(edit.isVisible());
                                    });
    EXPECT_EQ(report.texts(), (names{"無効なメールアドレスです.", "無効なメールアドレスです."}));
    EXPECT_EQ(report.shown.at(0).first, message_kind::notice);
    EXPECT_EQ(header_text(), "To: a@example.jp\r\nBcc: boss@example.jp\r\n");
}

TEST_F(AddressListDialog, AHundredAddressesTakeNoMore) {
    std::string full = "To: a0@example.jp";
    for (int i = 1; i < 100; ++i) full += ",\r\n a" + std::to_string(i) + "@example.jp";
    header(full + "\r\n");
    dialog_address dialog(nullptr, message_dir(), true, report);
    dialog.show();
    ASSERT_EQ(dialog.address_list()->topLevelItemCount(), 100);
    press(dialog.add_button());  // no dialog opens
    EXPECT_EQ(report.texts(), names{"これ以上の宛先は設定できません."});
    EXPECT_EQ(report.shown.at(0).first, message_kind::notice);
    EXPECT_EQ(header_text(), full + "\r\n");
}

TEST_F(AddressListDialog, AHeaderThatCannotBeWrittenStaysUntouched) {
    const std::string draft = "To: a@example.jp, b@example.jp\r\n";
    header(draft);
    // The header's companion name is taken by a directory, which stops root too.
    ASSERT_TRUE(make_directory(message_dir() + "0.$$$"));
    dialog_address dialog(nullptr, message_dir(), true, report);
    dialog.show();
    with_modal<dialog_address_edit>([&] { press(dialog.add_button()); }, [&](dialog_address_edit& edit) {
        enter(edit, 3, "c@example.jp");
        EXPECT_TRUE(edit.isVisible());
    });
    ASSERT_EQ(report.shown.size(), 1u);
    EXPECT_EQ(report.shown[0].first, message_kind::error);
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    EXPECT_EQ(header_text(), draft);

    select(dialog, 1);
    press(dialog.delete_button());
    EXPECT_EQ(report.texts(), (names{"ファイルの読み書きに失敗しました.", "削除しますか?", "ファイルの読み書きに失敗しました."}));
    EXPECT_EQ(header_text(), draft);
    EXPECT_EQ(rows(dialog).size(), 2u);
    EXPECT_FALSE(dialog.changed());

    // A mail without a readable header shows no list.
    report.shown.clear();
    EXPECT_FALSE(run_address_list_dialog(nullptr, dir.cp("受信箱/.8/"), false, report));
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
}

}  // namespace
}  // namespace qm::test
