// The address book and group dialogs over a real data directory: what they
// write into "address.ini" and "group.ini" and what they tell the user. The
// checks of an entry and the renames in the groups are the address book's
// (tests/config); here each dialog shows one refusal with its field focused
// and the files as they were.

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

TEST_F(AddressBookDialogs, ANewEntryIsCheckedWrittenAndRefusedAtTheHundredthAGroupWithoutABookToo) {
    EXPECT_FALSE(run_group_dialog(nullptr, -1, report));
    ASSERT_TRUE(add_address_entry(sj("花子"), "hanako@example.jp"));
    const std::string before = book();
    dialog_alias dialog(nullptr, report);
    look_at(dialog, "アドレス帳");
    type_into(dialog.name_field(), "花子");
    EXPECT_FALSE(dialog.ok_button()->isEnabled());  // both fields are needed
    for (auto [address, message, field] : {std::tuple{"a@example.jp", "すでに同名のものが存在します.", dialog.name_field()},
                                           {"a@example", "無効なメールアドレスです.", dialog.address_field()}}) {
        type_into(dialog.address_field(), address);
        press(dialog.ok_button());
        EXPECT_EQ(report.texts().back(), message);
        EXPECT_EQ(dialog.focusWidget(), field) << message;
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(book(), before);
    type_into(dialog.name_field(), "山田");
    type_into(dialog.address_field(), "taro@example.jp");
    QTest::keyClick(dialog.address_field(), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.changed());
    EXPECT_EQ(book(), crlf(sj("[花子]\naddress=hanako@example.jp\n[山田]\naddress=taro@example.jp\n")));

    std::string full;
    for (int i = 0; i < 99; ++i) full += "[n" + std::to_string(100 + i) + "]\naddress=a@b.example\n";
    write_bytes(dir / "address.ini", crlf(full));
    EXPECT_FALSE(run_address_dialog(nullptr, -1, report));
    EXPECT_EQ(report.texts(), (names{"アドレス帳を作成しなければグループは作成できません.", "すでに同名のものが存在します.",
                                     "無効なメールアドレスです.", "これ以上の項目は作成できません."}));
    EXPECT_FALSE(exists(dir / "group.ini"));
    // Entry 5 of the full book still opens for editing.
    with_modal<dialog_alias>([&] { EXPECT_FALSE(run_address_dialog(nullptr, 5, report)); },
                             [](dialog_alias& dialog) { EXPECT_EQ(dialog.name_field()->text(), "n105"); });
}

TEST_F(AddressBookDialogs, AnEditNeedsAChangeAFailedWriteKeepsTheEntryAndDeleteAsksFirst) {
    ASSERT_TRUE(add_address_entry("taro", "taro@example.jp"));
    ASSERT_TRUE(write_group("team", "taro"));
    with_modal<dialog_alias>([&] { EXPECT_TRUE(run_address_dialog(nullptr, 0, report)); }, [&](dialog_alias& dialog) {
        EXPECT_FALSE(dialog.ok_button()->isEnabled());  // OK waits for a change
        type_into(dialog.address_field(), "taro@example.com");
        EXPECT_TRUE(dialog.ok_button()->isEnabled());
        type_into(dialog.address_field(), "taro@example.jp");
        EXPECT_FALSE(dialog.ok_button()->isEnabled());
        type_into(dialog.name_field(), "tarou");
        press(dialog.ok_button());
    });
    EXPECT_EQ(read_group_members("team"), "tarou");

    // The book cannot be rewritten: its companion's name is a directory, which stops root too.
    ASSERT_TRUE(make_directory(dir.cp("address.$$$")));
    const std::string before = book();
    dialog_alias dialog(nullptr, report, "tarou", "taro@example.jp");
    dialog.show();
    type_into(dialog.name_field(), "saburo");
    press(dialog.ok_button());
    report.answer = false;
    press(dialog.delete_button());
    report.answer = true;
    press(dialog.delete_button());
    EXPECT_EQ(report.texts(), (names{"ファイルの読み書きに失敗しました.", "削除しますか?", "削除しますか?",
                                     "ファイルの読み書きに失敗しました."}));
    EXPECT_EQ(report.shown.at(0).first, message_kind::error);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.changed());
    EXPECT_EQ(book(), before);
    EXPECT_EQ(read_group_members("team"), "tarou");
    remove_tree(dir / "address.$$$");
    press(dialog.delete_button());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.changed());
    EXPECT_FALSE(exists(dir / "address.ini"));
}

TEST_F(AddressBookDialogs, AGroupIsMadeFromChosenEntriesEachOnceNeedsAFreeTitleAndKeepsItsMembersWhenRenamed) {
    for (const char* name : {"alice", "bob", "carol"}) ASSERT_TRUE(add_address_entry(name, "x@example.jp"));
    with_modal<dialog_group>([&] { EXPECT_TRUE(run_group_dialog(nullptr, -1, report)); }, [&](dialog_group& dialog) {
        look_at(dialog, "グループリスト");
        type_into(dialog.title_field(), "alice");  // an entry's name is taken too
        EXPECT_FALSE(dialog.ok_button()->isEnabled());  // no member yet
        for (const std::vector<int>& chosen : {std::vector<int>{0, 2}, {0, 1}}) {  // alice again adds nobody twice
            with_modal<dialog_alias_select>([&] { press(dialog.add_button()); }, [&](dialog_alias_select& select) {
                look_at(select, "メンバーの選択");
                EXPECT_FALSE(select.ok_button()->isEnabled());
                for (int row : chosen) select.name_list()->item(row)->setSelected(true);
                press(select.ok_button());
            });
        }
        EXPECT_EQ(dialog.members(), (names{"alice", "carol", "bob"}));
        press(dialog.remove_button());  // bob, as just added, is selected
        EXPECT_FALSE(dialog.remove_button()->isEnabled());
        press(dialog.ok_button());
        EXPECT_EQ(report.texts(), names{"すでに同名のものが存在します."});
        EXPECT_EQ(dialog.focusWidget(), dialog.title_field());
        type_into(dialog.title_field(), "友人");
        press(dialog.ok_button());
    });
    EXPECT_EQ(groups(), crlf(sj("[友人]\nmember=alice,carol\n")));

    dialog_group rename(nullptr, report, sj("友人"));
    type_into(rename.title_field(), "circle");
    rename.accept();
    EXPECT_TRUE(rename.changed());
    EXPECT_EQ(groups(), crlf("[circle]\nmember=alice,carol\n"));
}

}  // namespace
}  // namespace qm::test
