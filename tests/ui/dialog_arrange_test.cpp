// The arrange-rules dialogs over a real folder: what they write into its
// "arrange.lst" and what they tell the user. What a list line may hold and
// the order of the rules are the store's (tests/store).

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
    static std::string line(const std::string& utf8_rule) { return "\t" + sj(utf8_rule) + "\r\n"; }
    static std::vector<std::string> rows(dialog_arrange& dialog) { return tree_rows(dialog.rule_list(), ":"); }
    // The rule dialog `opener` opens, given a header and a keyword and OK; whether it closed.
    bool enter(const std::function<void()>& opener, const char* header, const std::string& keyword) {
        bool closed = false;
        with_modal<dialog_arrange_edit>(opener, [&](dialog_arrange_edit& edit) {
            type_into(edit.header_field(), header);
            type_into(edit.keyword_field(), keyword);
            press(edit.ok_button());
            closed = !edit.isVisible();
        });
        return closed;
    }
};

TEST_F(ArrangeDialog, AddAndEditWriteTheListAFailedWriteKeepsTheOldRuleAndDeleteAsksFirst) {
    ASSERT_TRUE(add_rule(folder(), "Subject", sj("会議")));
    dialog_arrange dialog(nullptr, folder(), report);
    look_at(dialog, "このフォルダへの振り分け設定");
    EXPECT_TRUE(enter([&] { press(dialog.add_button()); }, "From", "boss"));
    select_row(dialog.rule_list(), 1);  // Enter edits
    EXPECT_TRUE(enter([&] { QTest::keyClick(dialog.rule_list(), Qt::Key_Return); }, "Subject", "定例会議"));
    EXPECT_EQ(list_bytes(), line("From:boss") + line("Subject:定例会議"));

    // The list cannot be rewritten: its companion's name is a directory, which stops root too.
    ASSERT_TRUE(make_directory(dir.cp("仕事/arrange.$$$")));
    const std::string before = list_bytes();
    report.shown.clear();
    select_row(dialog.rule_list(), 0);
    EXPECT_FALSE(enter([&] { press(dialog.edit_button()); }, "From", "chief"));
    QTest::keyClick(dialog.rule_list(), Qt::Key_Delete);  // asks first
    EXPECT_EQ(report.texts(), (names{"ファイルの読み書きに失敗しました.", "削除しますか?", "ファイルの読み書きに失敗しました."}));
    EXPECT_EQ(list_bytes(), before);
    EXPECT_EQ(rows(dialog), (names{"From:boss", "Subject:定例会議"}));

    // The last rule takes the list file along.
    remove_tree(dir / "仕事/arrange.$$$");
    for (int left = 2; left > 0; --left) press(dialog.delete_button());
    EXPECT_FALSE(exists(dir / "仕事/arrange.lst"));
    EXPECT_FALSE(dialog.edit_button()->isEnabled() || dialog.delete_button()->isEnabled());
}

}  // namespace
}  // namespace qm::test
