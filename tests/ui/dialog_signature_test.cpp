// The signature dialog over a real account directory: what it writes into
// "sign.lst" and what it tells the user. The lists' own rules, shared with
// the templates, are the store's (tests/config).

#include <QPlainTextEdit>

#include "config/signatures.h"
#include "entry_dialog_test.h"
#include "ui/dialog_signature.h"

namespace qm::test {
namespace {

class SignatureDialogs : public data_directory_test {
protected:
    std::string root() const { return dir.cp(); }
    std::string signatures() const { return read_bytes(dir / "sign.lst"); }
};

TEST_F(SignatureDialogs, ANewSignatureIsStoredInNameOrderAFailedEditKeepsTheListAndDeleteAsksFirst) {
    ASSERT_TRUE(save_signature(root(), "work", "W"));
    dialog_signature dialog(nullptr, report, root());
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
    with_modal<dialog_signature>([&] { EXPECT_FALSE(run_signature_dialog(nullptr, root(), 0, report)); },
                                 [&](dialog_signature& edit) {
        type_into(edit.title_field(), "private");
        press(edit.ok_button());
        EXPECT_TRUE(edit.isVisible());
    });
    EXPECT_EQ(report.texts().back(), "ファイルの読み書きに失敗しました.");
    EXPECT_EQ(signatures(), before);

    remove_tree(dir / "sign.$$$");
    dialog_signature home(nullptr, report, root(), "home");
    home.show();
    press(home.delete_button());
    EXPECT_EQ(report.texts().back(), "削除しますか?");  // the question the list dialogs share
    EXPECT_EQ(signatures(), crlf("\twork\nW\n"));
}

TEST_F(SignatureDialogs, TheHundredthIsRefusedBeforeTheDialogOpens) {
    std::string list;
    for (int i = 0; i < 99; ++i) list += "\ts" + std::to_string(100 + i) + "\n";
    write_bytes(dir / "sign.lst", crlf(list));
    EXPECT_FALSE(run_signature_dialog(nullptr, root(), -1, report));  // the check is the store's, shared with templates
    EXPECT_EQ(report.texts(), names{"これ以上の項目は作成できません."});
    EXPECT_EQ(signatures(), crlf(list));
}

}  // namespace
}  // namespace qm::test
