// The address book and group dialogs over a real data directory: what they
// write into "address.ini" and "group.ini" and what they tell the user.

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

TEST_F(AddressBookDialogs, TheHundredthEntryAndAGroupWithoutABookAreRefused) {
    EXPECT_FALSE(run_group_dialog(nullptr, -1, report));
    EXPECT_EQ(report.shown.at(0).first, message_kind::notice);
    EXPECT_FALSE(exists(dir / "group.ini"));

    std::string full;
    for (int i = 0; i < 99; ++i) full += "[n" + std::to_string(100 + i) + "]\naddress=a@b.example\n";
    write_bytes(dir / "address.ini", crlf(full));
    EXPECT_FALSE(run_address_dialog(nullptr, -1, report));
    EXPECT_EQ(report.texts(), (names{"アドレス帳を作成しなければグループは作成できません.", "これ以上の項目は作成できません."}));
    EXPECT_EQ(book(), crlf(full));

    // Entry 5 of the full book still opens for editing.
    with_modal<dialog_alias>([&] { EXPECT_FALSE(run_address_dialog(nullptr, 5, report)); },
                             [](dialog_alias& dialog) { EXPECT_EQ(dialog.name_field()->text(), "n105"); });
}

TEST_F(AddressBookDialogs, AnEntryIsCheckedFieldByFieldBeforeItIsWritten) {
    ASSERT_TRUE(add_address_entry(sj("花子"), "hanako@example.jp"));
    ASSERT_TRUE(write_group(sj("営業部"), sj("花子")));
    const std::string before = book();
    dialog_alias dialog(nullptr, report);
    look_at(dialog, "アドレス帳");
    EXPECT_EQ(dialog.delete_button(), nullptr);
    EXPECT_FALSE(dialog.ok_button()->isEnabled());
    type(dialog.name_field(), "山田太郎");
    EXPECT_FALSE(dialog.ok_button()->isEnabled());

    struct attempt {
        std::string name, address, message;
        bool on_name;
    };
    const attempt refused[] = {
        {"山田 (営業)", "taro@example.jp", "名前に次の文字を含めることはできません.\n    \"(),<>@", true},
        {"山田", "営業部", "無効なメールアドレスです.", false},  // a group is no address
        {"営業部", "eigyo@example.jp", "すでに同名のものが存在します.", true},
    };
    for (const attempt& a : refused) {
        report.shown.clear();
        type(dialog.name_field(), a.name);
        type(dialog.address_field(), a.address);
        ASSERT_TRUE(dialog.ok_button()->isEnabled());
        press(dialog.ok_button());
        EXPECT_EQ(report.texts(), names{a.message}) << a.name << " " << a.address;
        EXPECT_EQ(report.shown.at(0).first, message_kind::notice);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.focusWidget(), a.on_name ? dialog.name_field() : dialog.address_field()) << a.name;
    }
    EXPECT_EQ(book(), before);

    report.shown.clear();
    type(dialog.name_field(), "山田");
    type(dialog.address_field(), "taro@example.jp");
    QTest::keyClick(dialog.address_field(), Qt::Key_Return);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.changed());
    EXPECT_EQ(book(), crlf(sj("[花子]\naddress=hanako@example.jp\n[山田]\naddress=taro@example.jp\n")));
}

TEST_F(AddressBookDialogs, AnEditNeedsAChangeRenamesTheEntryInItsGroupsAndAFailedWriteKeepsIt) {
    ASSERT_TRUE(add_address_entry("taro", "taro@example.jp"));
    ASSERT_TRUE(add_address_entry("ziro", "ziro@example.jp"));
    ASSERT_TRUE(write_group("team", "ziro,taro"));
    with_modal<dialog_alias>([&] { EXPECT_TRUE(run_address_dialog(nullptr, 0, report)); },
                             [&](dialog_alias& dialog) {
                                 ASSERT_NE(dialog.delete_button(), nullptr);
                                 // OK waits for a change, and for both fields.
                                 EXPECT_FALSE(dialog.ok_button()->isEnabled());
                                 type(dialog.address_field(), "taro@example.com");
                                 EXPECT_TRUE(dialog.ok_button()->isEnabled());
                                 dialog.address_field()->selectAll();
                                 QTest::keyClick(dialog.address_field(), Qt::Key_Delete);
                                 EXPECT_FALSE(dialog.ok_button()->isEnabled());
                                 type(dialog.address_field(), "taro@example.jp");
                                 EXPECT_FALSE(dialog.ok_button()->isEnabled());
                                 type(dialog.name_field(), "tarou");
                                 press(dialog.ok_button());
                                 EXPECT_FALSE(dialog.isVisible());
                             });
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(read_group_members("team"), "ziro,tarou");
    EXPECT_EQ(lookup_address("tarou"), "taro@example.jp");

    // The book cannot be rewritten: its companion's name is a directory,
    // which stops root too.
    ASSERT_TRUE(make_directory(dir.cp("address.$$$")));
    const std::string before = book();
    dialog_alias dialog(nullptr, report, "tarou", "taro@example.jp");
    dialog.show();
    type(dialog.name_field(), "saburo");
    press(dialog.ok_button());
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    EXPECT_EQ(report.shown.at(0).first, message_kind::error);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.changed());
    EXPECT_EQ(book(), before);
    EXPECT_EQ(read_group_members("team"), "ziro,tarou");

    report.shown.clear();
    press(dialog.delete_button());
    EXPECT_EQ(report.texts(), (names{"削除しますか?", "ファイルの読み書きに失敗しました."}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(book(), before);
}

TEST_F(AddressBookDialogs, DeleteAsksFirstAndTheLastEntryTakesTheFileAlong) {
    ASSERT_TRUE(add_address_entry("taro", "taro@example.jp"));
    dialog_alias dialog(nullptr, report, "taro", "taro@example.jp");
    dialog.show();
    report.answer = false;
    press(dialog.delete_button());
    EXPECT_TRUE(is_address_entry("taro"));
    report.answer = true;
    press(dialog.delete_button());
    EXPECT_EQ(report.texts(), (names{"削除しますか?", "削除しますか?"}));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.changed());
    EXPECT_FALSE(exists(dir / "address.ini"));
}

TEST_F(AddressBookDialogs, AGroupIsMadeFromChosenEntries) {
    for (const char* name : {"alice", "bob", "carol"}) ASSERT_TRUE(add_address_entry(name, "x@example.jp"));
    with_modal<dialog_group>(
        [&] { EXPECT_TRUE(run_group_dialog(nullptr, -1, report)); },
        [&](dialog_group& dialog) {
            look_at(dialog, "グループリスト");
            EXPECT_FALSE(dialog.member_list()->isEnabled());
            type(dialog.title_field(), "友人");
            EXPECT_FALSE(dialog.ok_button()->isEnabled());  // no member yet
            with_modal<dialog_alias_select>([&] { press(dialog.add_button()); },
                                            [&](dialog_alias_select& select) {
                                                look_at(select, "メンバーの選択");
                                                QListWidget* list = select.name_list();
                                                ASSERT_EQ(list->count(), 3);
                                                EXPECT_FALSE(select.ok_button()->isEnabled());
                                                list->item(0)->setSelected(true);
                                                list->item(2)->setSelected(true);
                                                press(select.ok_button());
                                            });
            EXPECT_EQ(dialog.members(), (names{"alice", "carol"}));
            // Choosing alice again adds nobody twice.
            with_modal<dialog_alias_select>([&] { press(dialog.add_button()); },
                                            [&](dialog_alias_select& select) {
                                                select.name_list()->item(0)->setSelected(true);
                                                select.name_list()->item(1)->setSelected(true);
                                                press(select.ok_button());
                                            });
            EXPECT_EQ(dialog.members(), (names{"alice", "carol", "bob"}));
            press(dialog.remove_button());  // bob, as just added, is selected
            EXPECT_EQ(dialog.members(), (names{"alice", "carol"}));
            EXPECT_FALSE(dialog.remove_button()->isEnabled());
            press(dialog.ok_button());
            EXPECT_FALSE(dialog.isVisible());
        });
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(groups(), crlf(sj("[友人]\nmember=alice,carol\n")));
}

TEST_F(AddressBookDialogs, AGroupNeedsAFreeTitleAndAMember) {
    ASSERT_TRUE(add_address_entry("alice", "alice@example.jp"));
    ASSERT_TRUE(write_group("team", "alice"));
    ASSERT_TRUE(write_group("club", "alice,bob@example.jp"));
    dialog_group dialog(nullptr, report, "club");
    dialog.show();
    ASSERT_NE(dialog.delete_button(), nullptr);
    EXPECT_EQ(dialog.members(), (names{"alice", "bob@example.jp"}));
    for (const char* taken : {"team", "alice"}) {
        report.shown.clear();
        type(dialog.title_field(), taken);
        press(dialog.ok_button());
        EXPECT_EQ(report.texts(), names{"すでに同名のものが存在します."}) << taken;
        EXPECT_EQ(dialog.focusWidget(), dialog.title_field());
    }
    dialog.member_list()->selectAll();
    press(dialog.remove_button());
    EXPECT_FALSE(dialog.member_list()->isEnabled() || dialog.ok_button()->isEnabled() ||
                 dialog.remove_button()->isEnabled());
    EXPECT_EQ(groups(), crlf("[club]\nmember=alice,bob@example.jp\n[team]\nmember=alice\n"));

    // Renamed: the group keeps its members under the new title.
    dialog_group rename(nullptr, report, "club");
    type(rename.title_field(), "circle");
    rename.accept();
    EXPECT_TRUE(rename.changed());
    EXPECT_EQ(groups(), crlf("[circle]\nmember=alice,bob@example.jp\n[team]\nmember=alice\n"));

    report.shown.clear();
    dialog_group remove(nullptr, report, "circle");
    remove.delete_group_entry();
    dialog_group last(nullptr, report, "team");
    last.delete_group_entry();
    EXPECT_EQ(report.texts(), (names{"削除しますか?", "削除しますか?"}));
    EXPECT_FALSE(exists(dir / "group.ini"));
}

}  // namespace
}  // namespace qm::test
