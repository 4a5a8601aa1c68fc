// The dialogs over a list file: the arrange rules of a real folder ("arrange.lst") and the signatures
// of a real account directory ("sign.lst"), what they write there and what they tell the user. What a
// list line may hold, the order of the rules and the lists' own rules, shared with the templates, are
// the store's and the config's (tests/store, tests/config).

#include <QPlainTextEdit>

#include "config/signatures.h"
#include "entry_dialog_test.h"
#include "ui/dialog_arrange.h"
#include "ui/dialog_arrange_edit.h"
#include "ui/dialog_signature.h"

namespace qm::test {
namespace {

class ArrangeDialog : public data_directory_test {
protected:
    ArrangeDialog() { make_directory(folder()); }

    std::string folder() const { return dir.cp("仕事/"); }
    std::string list_bytes() const { return read_bytes(dir / "仕事/arrange.lst"); }
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
    EXPECT_EQ(list_bytes(), crlf(sj("\tFrom:boss\n\tSubject:定例会議\n")));

    // The list cannot be rewritten: its companion's name is a directory, which stops root too.
    ASSERT_TRUE(make_directory(dir.cp("仕事/arrange.$$$")));
    const std::string before = list_bytes();
    select_row(dialog.rule_list(), 0);
    EXPECT_FALSE(enter([&] { press(dialog.edit_button()); }, "From", "chief"));
    QTest::keyClick(dialog.rule_list(), Qt::Key_Delete);  // asks first
    EXPECT_EQ(report.texts(), (names{file_error, "削除しますか?", file_error}));
    EXPECT_EQ(list_bytes(), before);
    EXPECT_EQ(tree_rows(dialog.rule_list(), ":"), (names{"From:boss", "Subject:定例会議"}));

    // The last rule takes the list file along.
    remove_tree(dir / "仕事/arrange.$$$");
    for (int left = 2; left > 0; --left) press(dialog.delete_button());
    EXPECT_FALSE(exists(dir / "仕事/arrange.lst"));
    EXPECT_FALSE(dialog.edit_button()->isEnabled() || dialog.delete_button()->isEnabled());
}

class SignatureDialogs : public data_directory_test {
protected:
    std::string signatures() const { return read_bytes(dir / "sign.lst"); }
};

TEST_F(SignatureDialogs, ANewSignatureIsStoredInNameOrderAFailedEditKeepsTheListAndDeleteAsksFirst) {
    ASSERT_TRUE(save_signature(dir.cp(), "work", "W"));
    dialog_signature dialog(nullptr, report, dir.cp());
    look_at(dialog, "署名");
    EXPECT_FALSE(dialog.ok_button()->isEnabled());
    commit_text(dialog.title_field(), "home");
    dialog.text_field()->setFocus();
    commit_text(dialog.text_field(), "--\n山田\t太郎\n");
    press(dialog.ok_button());
    EXPECT_TRUE(dialog.changed());
    EXPECT_EQ(signatures(), crlf(sj("\thome\n--\n山田太郎\n\twork\nW\n")));

    // The list cannot be rewritten: its companion's name is a directory, which stops root too.
    ASSERT_TRUE(make_directory(dir.cp("sign.$$$")));
    const std::string before = signatures();
    with_modal<dialog_signature>([&] { EXPECT_FALSE(run_signature_dialog(nullptr, dir.cp(), 0, report)); },
                                 [&](dialog_signature& edit) {
        type_into(edit.title_field(), "private");
        press(edit.ok_button());
        EXPECT_TRUE(edit.isVisible());
    });
    EXPECT_EQ(report.texts().back(), file_error);
    EXPECT_EQ(signatures(), before);

    remove_tree(dir / "sign.$$$");
    dialog_signature home(nullptr, report, dir.cp(), "home");
    home.show();
    press(home.delete_button());
    EXPECT_EQ(report.texts().back(), "削除しますか?");  // the question the list dialogs share
    EXPECT_EQ(signatures(), crlf("\twork\nW\n"));
}

TEST_F(SignatureDialogs, TheHundredthIsRefusedBeforeTheDialogOpens) {
    std::string list;
    for (int i = 0; i < 99; ++i) list += "\ts" + std::to_string(100 + i) + "\n";
    write_bytes(dir / "sign.lst", crlf(list));
    EXPECT_FALSE(run_signature_dialog(nullptr, dir.cp(), -1, report));  // the store's check, shared with templates
    EXPECT_EQ(report.texts(), names{"これ以上の項目は作成できません."});
    EXPECT_EQ(signatures(), crlf(list));
}

}  // namespace
}  // namespace qm::test
