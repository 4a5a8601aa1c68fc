// The address book and group dialogs over a real data directory: what they
// write into "address.ini" and "group.ini" and what they tell the user. The
// checks of an entry and the renames in the groups are the address book's
// (tests/config); the full list and "delete asks first", shared by the list
// dialogs, the signature dialogs' tests hold.

#include <QListWidget>

#include "config/address_book.h"
#include "entry_dialog_test.h"
#include "ui/dialog_alias.h"
#include "ui/dialog_alias_select.h"
#include "ui/dialog_group.h"

namespace qm::test {
namespace {

class AddressBookDialogs : public data_directory_test {
protected:
    std::string book() const { return read_bytes(dir / "address.ini"); }
    std::string groups() const { return read_bytes(dir / "group.ini"); }
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
    EXPECT_EQ(report.texts().back(), "ファイルの読み書きに失敗しました.");
    EXPECT_TRUE(blocked.isVisible());
    EXPECT_FALSE(blocked.changed());
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
    EXPECT_EQ(groups(), crlf(sj("[友人]\nmember=alice,carol,bob\n")));
}

}  // namespace
}  // namespace qm::test
