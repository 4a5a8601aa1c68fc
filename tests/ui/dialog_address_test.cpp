// The address book, group and address-list dialogs over a real data directory and real message
// files: what they show, what they write into "address.ini", "group.ini" and a draft's header, and
// what they tell the user. The checks of an entry, the renames in the groups and how a header is
// changed are the address book's and the store's (tests/config, tests/store); here each command is
// reached once. The full list and "delete asks first", shared by the list dialogs, the signature
// dialogs' tests hold.

#include <QListWidget>

#include "config/address_book.h"
#include "entry_dialog_test.h"
#include "ui/dialog_address.h"
#include "ui/dialog_address_edit.h"
#include "ui/dialog_address_regist.h"
#include "ui/dialog_alias.h"
#include "ui/dialog_alias_select.h"
#include "ui/dialog_group.h"

namespace qm::test {
namespace {

class AddressBookDialogs : public data_directory_test {
protected:
    std::string book() const { return read_bytes(dir / "address.ini"); }
};

TEST_F(AddressBookDialogs, ANewEntryIsCheckedAndWrittenAndAFailedWriteKeepsTheBook) {
    ASSERT_TRUE(add_address_entry(sj("花子"), "hanako@example.jp"));
    dialog_alias dialog(nullptr, report);
    look_at(dialog, "アドレス帳");
    type_into(dialog.name_field(), "山田");
    EXPECT_FALSE(dialog.ok_button()->isEnabled());  // both fields are needed
    type_into(dialog.address_field(), "a@example");
    press(dialog.ok_button());
    EXPECT_EQ(report.texts(), names{"無効なメールアドレスです."});
    EXPECT_EQ(dialog.focusWidget(), dialog.address_field());
    type_into(dialog.address_field(), "taro@example.jp");
    QTest::keyClick(dialog.address_field(), Qt::Key_Return);
    EXPECT_TRUE(dialog.changed());
    EXPECT_EQ(book(), crlf(sj("[花子]\naddress=hanako@example.jp\n[山田]\naddress=taro@example.jp\n")));

    // The book cannot be rewritten: its companion's name is a directory, which stops root too.
    ASSERT_TRUE(make_directory(dir.cp("address.$$$")));
    const std::string before = book();
    dialog_alias blocked(nullptr, report, sj("花子"), "hanako@example.jp");
    blocked.show();
    type_into(blocked.name_field(), "saburo");
    press(blocked.ok_button());
    EXPECT_EQ(report.texts().back(), file_error);
    EXPECT_TRUE(blocked.isVisible() && !blocked.changed());
    EXPECT_EQ(book(), before);
}

TEST_F(AddressBookDialogs, AGroupIsMadeFromChosenEntriesEachOnceAndNeedsAFreeTitle) {
    for (const char* name : {"alice", "bob", "carol"}) ASSERT_TRUE(add_address_entry(name, "x@example.jp"));
    with_modal<dialog_group>([&] { EXPECT_TRUE(run_group_dialog(nullptr, -1, report)); }, [&](dialog_group& dialog) {
        look_at(dialog, "グループリスト");
        type_into(dialog.title_field(), "alice");  // an entry's name is taken too
        EXPECT_FALSE(dialog.ok_button()->isEnabled());  // no member yet
        for (const std::vector<int>& chosen : {std::vector<int>{0, 2}, {0, 1}}) {  // alice again adds nobody twice
            with_modal<dialog_alias_select>([&] { press(dialog.add_button()); }, [&](dialog_alias_select& select) {
                for (int row : chosen) select.name_list()->item(row)->setSelected(true);
                press(select.ok_button());
            });
        }
        press(dialog.ok_button());
        EXPECT_EQ(report.texts(), names{"すでに同名のものが存在します."});
        EXPECT_EQ(dialog.focusWidget(), dialog.title_field());
        type_into(dialog.title_field(), "友人");
        press(dialog.ok_button());
    });
    EXPECT_EQ(read_bytes(dir / "group.ini"), crlf(sj("[友人]\nmember=alice,carol,bob\n")));
}

class AddressListDialog : public data_directory_test {
protected:
    AddressListDialog() { make_directory(message_dir()); }

    std::string message_dir() const { return dir.cp("受信箱/.7/"); }
    void header(const std::string& utf8_crlf) const { write_bytes(dir / "受信箱/.7/0", sj(utf8_crlf)); }
    std::string header_text() const { return u8(read_bytes(dir / "受信箱/.7/0")); }

    // The edit dialog `opener` opens, given a kind and a recipient and OK; whether it closed.
    bool enter(const std::function<void()>& opener, int kind, const char* recipient) {
        bool closed = false;
        with_modal<dialog_address_edit>(opener, [&](dialog_address_edit& edit) {
            edit.kind_choice()->setCurrentIndex(kind);
            type_into(edit.recipient_field(), recipient);
            press(edit.ok_button());
            closed = !edit.isVisible();
            focus_on_recipient = edit.focusWidget() == edit.recipient_choice();
        });
        return closed;
    }

    bool focus_on_recipient = false;
};

TEST_F(AddressListDialog, ReceivedMailOnlyRegistersItsAddresses) {
    const std::string received = "From: \"Taro Yamada\" <taro@example.jp>\r\n"
                                 "To: hanako@example.jp, 鈴木 <suzuki@example.jp>\r\nCc: jiro@example.jp (次郎)\r\n";
    header(received);
    dialog_address dialog(nullptr, message_dir(), false, report);
    look_at(dialog, "記載メールアドレス一覧");
    select_row(dialog.address_list(), 2);
    QTest::keyClick(dialog.address_list(), Qt::Key_Delete);  // received mail is never changed
    // Shift+Enter registers the selected address, its display name offered.
    with_modal<dialog_address_regist>(
        [&] { QTest::keyClick(dialog.address_list(), Qt::Key_Return, Qt::ShiftModifier); },
        [&](dialog_address_regist& regist) {
            EXPECT_EQ(regist.name_field()->text(), ui("鈴木"));
            press(regist.ok_button());
        });
    EXPECT_EQ(u8(read_bytes(dir / "address.ini")), "[鈴木]\r\naddress=suzuki@example.jp\r\n");
    EXPECT_EQ(header_text(), received);
    EXPECT_FALSE(dialog.changed());
}

TEST_F(AddressListDialog, AddEditAndDeleteChangeTheDraftsHeader) {
    header("From: taro@example.jp\r\nTo: a@example.jp\r\nSubject: s\r\n");
    ASSERT_TRUE(add_address_entry(sj("花子"), "hanako@example.jp"));
    ASSERT_TRUE(write_group(sj("営業部"), sj("花子,b@example.jp")));
    bool changed = false;
    with_modal<dialog_address>([&] { changed = run_address_list_dialog(nullptr, message_dir(), true, report); },
                               [&](dialog_address& dialog) {
        EXPECT_TRUE(enter([&] { press(dialog.add_button()); }, 3, "d@example.jp"));
        // Enter edits: the new address moves to Cc, a group as its members.
        EXPECT_TRUE(enter([&] { QTest::keyClick(dialog.address_list(), Qt::Key_Return); }, 4, "営業部"));
        select_row(dialog.address_list(), 1);
        QTest::keyClick(dialog.address_list(), Qt::Key_Delete);  // asks first
        EXPECT_EQ(report.texts(), names{"削除しますか?"});
    });
    EXPECT_TRUE(changed);
    EXPECT_EQ(header_text(), "From: taro@example.jp\r\nSubject: s\r\nCc: hanako@example.jp,\r\n b@example.jp\r\n");
}

TEST_F(AddressListDialog, AnInvalidAddressOrAHundredAndFirstIsRefusedAndAFailedWriteLeavesTheHeader) {
    std::string full = "To: a0@example.jp";
    for (int i = 1; i < 100; ++i) full += ",\r\n a" + std::to_string(i) + "@example.jp";
    header(full + "\r\n");
    dialog_address dialog(nullptr, message_dir(), true, report);
    dialog.show();
    EXPECT_EQ(modal_dialogs_opened_by([&] { press(dialog.add_button()); }), 0);

    const std::string draft = "To: a@example.jp, b@example.jp\r\n";
    header(draft);
    dialog_address small(nullptr, message_dir(), true, report);
    small.show();
    EXPECT_FALSE(enter([&] { press(small.add_button()); }, 5, "boss@example"));
    EXPECT_TRUE(focus_on_recipient);
    // The header's companion name is taken by a directory, which stops root too.
    ASSERT_TRUE(make_directory(message_dir() + "0.$$$"));
    EXPECT_FALSE(enter([&] { press(small.add_button()); }, 5, "boss@example.jp"));
    EXPECT_EQ(report.texts(), (names{"これ以上の宛先は設定できません.", "無効なメールアドレスです.", file_error}));
    EXPECT_EQ(header_text(), draft);
    EXPECT_EQ(small.address_list()->topLevelItemCount(), 2);
    EXPECT_FALSE(small.changed());
}

}  // namespace
}  // namespace qm::test
