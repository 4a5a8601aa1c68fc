// The arrange-rules dialogs over a real folder: what they write into its
// "arrange.lst" and what they tell the user.

#include "app/typing.h"
#include "entry_dialog_test.h"
#include "ui/dialog_arrange.h"
#include "ui/dialog_arrange_edit.h"

namespace qm::test {
namespace {

class ArrangeDialog : public data_directory_test {
protected:
    ArrangeDialog() { make_directory(folder()); }

    std::string folder() const { return dir.cp("仕事/"); }
    std::string list_bytes() const { return read_bytes(dir / "仕事/arrange.lst"); }
    std::string rule_line(const std::string& utf8_rule) const { return "\t" + sj(utf8_rule) + "\r\n"; }

    static void with_rule_dialog(const std::function<void()>& opener,
                                 const std::function<void(dialog_arrange_edit&)>& use) {
        with_modal<dialog_arrange_edit>(opener, use);
    }
    static void type(QLineEdit* field, const std::string& utf8) { type_into(field, utf8); }
    static void enter_rule(dialog_arrange_edit& edit, const std::string& header, const std::string& keyword) {
        type(edit.header_field(), header);
        type(edit.keyword_field(), keyword);
        press(edit.ok_button());
    }
    static std::vector<std::string> rows(dialog_arrange& dialog) { return tree_rows(dialog.rule_list(), ":"); }
    static void select(dialog_arrange& dialog, int row) { select_row(dialog.rule_list(), row); }
};

TEST_F(ArrangeDialog, AddWritesTheRuleAndTheSameRuleAgainOnlyTellsThatItExists) {
    dialog_arrange dialog(nullptr, folder(), report);
    look_at(dialog, "このフォルダへの振り分け設定");
    EXPECT_FALSE(dialog.edit_button()->isEnabled());

    with_rule_dialog([&] { press(dialog.add_button()); },
                     [&](dialog_arrange_edit& edit) {
                         look_at(edit, "新しい振り分け設定");
                         EXPECT_FALSE(edit.ok_button()->isEnabled());
                         enter_rule(edit, "Subject", "会議");
                         EXPECT_FALSE(edit.isVisible());
                     });
    EXPECT_EQ(list_bytes(), rule_line("Subject:会議"));
    EXPECT_EQ(rows(dialog), names{"Subject:会議"});
    EXPECT_TRUE(dialog.edit_button()->isEnabled());  // the new rule is selected

    with_rule_dialog([&] { press(dialog.add_button()); },
                     [&](dialog_arrange_edit& edit) {
                         enter_rule(edit, "Subject", "会議");
                         EXPECT_TRUE(edit.isVisible());
                         EXPECT_EQ(edit.focusWidget(), edit.header_field());
                     });
    EXPECT_EQ(report.texts(), names{"すでに同名のものが存在します."});
    EXPECT_EQ(list_bytes(), rule_line("Subject:会議"));

    // An empty keyword is a rule: every mail with a To line.
    with_rule_dialog([&] { dialog.popup_menu()->actions().at(0)->trigger(); },
                     [&](dialog_arrange_edit& edit) {
                         type(edit.header_field(), "To");
                         EXPECT_TRUE(edit.ok_button()->isEnabled());
                         QTest::keyClick(edit.keyword_field(), Qt::Key_Return);
                     });
    EXPECT_EQ(list_bytes(), rule_line("Subject:会議") + rule_line("To:"));
    EXPECT_EQ(rows(dialog), (names{"Subject:会議", "To:"}));
    EXPECT_EQ(dialog.rule_list()->currentItem()->text(0), "To");
}

TEST_F(ArrangeDialog, EditReplacesTheRuleAndAFailedWriteKeepsTheOldOne) {
    ASSERT_TRUE(add_rule(folder(), "Subject", sj("会議")));
    ASSERT_TRUE(add_rule(folder(), "From", "boss"));
    dialog_arrange dialog(nullptr, folder(), report);
    dialog.show();
    ASSERT_EQ(rows(dialog), (names{"From:boss", "Subject:会議"}));

    select(dialog, 1);
    with_rule_dialog([&] { QTest::keyClick(dialog.rule_list(), Qt::Key_Return); },
                     [&](dialog_arrange_edit& edit) {
                         EXPECT_EQ(edit.keyword_field()->text(), ui("会議"));
                         press(edit.ok_button());  // unchanged: nothing to say
                         EXPECT_TRUE(report.shown.empty());
                     });
    select(dialog, 1);
    with_rule_dialog([&] { QTest::keyClick(dialog.rule_list(), Qt::Key_Return); },
                     [&](dialog_arrange_edit& edit) {
                         enter_rule(edit, "From", "boss");  // another rule has this text
                         EXPECT_TRUE(edit.isVisible());
                         enter_rule(edit, "Subject", "定例会議");
                         EXPECT_FALSE(edit.isVisible());
                     });
    EXPECT_EQ(report.texts(), names{"すでに同名のものが存在します."});
    EXPECT_EQ(list_bytes(), rule_line("From:boss") + rule_line("Subject:定例会議"));
    EXPECT_EQ(dialog.rule_list()->currentItem()->text(1), ui("定例会議"));

    // The list cannot be rewritten: its companion's name is a directory, which stops root too.
    ASSERT_TRUE(make_directory(dir.cp("仕事/arrange.$$$")));
    const std::string before = list_bytes();
    report.shown.clear();
    select(dialog, 0);
    with_rule_dialog([&] { press(dialog.edit_button()); },
                     [&](dialog_arrange_edit& edit) {
                         enter_rule(edit, "From", "chief");
                         EXPECT_TRUE(edit.isVisible());
                     });
    EXPECT_EQ(report.shown.at(0).first, message_kind::error);
    EXPECT_EQ(rows(dialog), (names{"From:boss", "Subject:定例会議"}));
    // Nor can a rule be deleted.
    QTest::keyClick(dialog.rule_list(), Qt::Key_Delete);
    EXPECT_EQ(report.texts(), (names{"ファイルの読み書きに失敗しました.", "削除しますか?", "ファイルの読み書きに失敗しました."}));
    EXPECT_EQ(list_bytes(), before);
}

TEST_F(ArrangeDialog, DeleteAsksFirstAndTheLastRuleTakesTheListFileAlong) {
    ASSERT_TRUE(add_rule(folder(), "Subject", sj("会議")));
    dialog_arrange dialog(nullptr, folder(), report);
    dialog.show();
    const QList<QAction*> menu = dialog.popup_menu()->actions();  // add, edit, delete
    ASSERT_EQ(menu.size(), 3);
    EXPECT_TRUE(menu[2]->isEnabled());  // the first rule is selected on opening

    report.answer = false;
    press(dialog.delete_button());
    EXPECT_EQ(report.shown.at(0).first, message_kind::confirm);
    EXPECT_EQ(list_bytes(), rule_line("Subject:会議"));

    report.answer = true;
    menu[2]->trigger();
    EXPECT_FALSE(exists(dir / "仕事/arrange.lst"));
    EXPECT_TRUE(rows(dialog).empty());
    EXPECT_FALSE(menu[1]->isEnabled() || dialog.delete_button()->isEnabled());
}

TEST_F(ArrangeDialog, ARuleMustFitOneListLine) {
    dialog_arrange_edit edit(nullptr, folder(), report);
    std::string kanji;
    for (int i = 0; i < 127; ++i) kanji += "漢";
    // Header and keyword together make one list line of at most 252 bytes.
    edit.header_field()->setText("Subject");
    type(edit.keyword_field(), kanji);
    edit.accept();
    EXPECT_NE(edit.result(), QDialog::Accepted);
    EXPECT_EQ(edit.focusWidget(), edit.keyword_field());
    EXPECT_EQ(report.texts(),
              names{"メールヘッダとキーワードが長すぎます.\n合わせて半角252文字(全角126文字)までにして下さい."});
    EXPECT_FALSE(exists(dir / "仕事/arrange.lst"));

    edit.header_field()->setText("XY");
    edit.keyword_field()->setText(QString(251, 'k'));
    edit.accept();
    EXPECT_EQ(report.shown.size(), 2u);
    edit.header_field()->setText("X");
    edit.accept();
    EXPECT_EQ(edit.result(), QDialog::Accepted);
    EXPECT_EQ(list_bytes(), "\tX:" + std::string(251, 'k') + "\r\n");
}

}  // namespace
}  // namespace qm::test
