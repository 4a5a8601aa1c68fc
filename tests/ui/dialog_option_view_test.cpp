// The view options over a real "quillmere.ini": what OK writes, what the
// lists and the colour fields do, and a file that cannot be written.

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>

#include "option_dialog_test.h"
#include "ui/dialog_option_view.h"
#include "ui/option_list_box.h"

namespace qm::test {
namespace {

using ViewOptions = option_dialog_test;

QStringList rows(const option_list_box* box) {
    QStringList texts;
    for (int row = 0; row < box->list()->count(); ++row) texts << box->list()->item(row)->text();
    return texts;
}

QString components(const dialog_option_view& dialog) {
    return QStringLiteral("%1:%2:%3").arg(dialog.component(0)->value()).arg(dialog.component(1)->value())
        .arg(dialog.component(2)->value());
}

const char* const default_colour_lines =
    "back ground=0:0:64\nback text=0:0:255\ntext directory=0:255:255\ntext search=0:255:0\n"
    "text new=255:255:0\ntext normal=255:255:255\n";

TEST_F(ViewOptions, OpensWithTheSettingsAndTheDefaultsButtonWritesTheDefaultColours) {
    settings.list_thread = true;
    settings.back_ground = parse_color("1:2:3");
    settings.text_search = parse_color("4:5:6");
    settings.text_normal = parse_color("7:8:9");
    ASSERT_TRUE(save_view_settings(settings, "To,Cc"));
    reload();

    dialog_option_view dialog(nullptr, settings, report);
    look_at(dialog, "表示オプション");
    EXPECT_TRUE(dialog.thread_check()->isChecked());
    EXPECT_TRUE(dialog.preview_check()->isChecked());
    EXPECT_EQ(rows(dialog.open_headers()), (QStringList{"Cc", "To"}));
    EXPECT_EQ(dialog.open_headers()->list()->currentRow(), 0);
    EXPECT_EQ(dialog.font_field()->text(), ui("ＭＳ ゴシック/9/標準"));
    ASSERT_EQ(dialog.colour_choice()->count(), 6);
    EXPECT_EQ(components(dialog), "1:2:3");
    EXPECT_TRUE(dialog.sample()->styleSheet().contains("#070809"));  // ordinary text on the background
    EXPECT_TRUE(dialog.sample()->styleSheet().contains("#010203"));

    // The fields write into the colour selected; choosing another shows it.
    dialog.colour_choice()->setCurrentIndex(3);
    EXPECT_EQ(components(dialog), "4:5:6");
    dialog.component(1)->setValue(200);
    EXPECT_TRUE(dialog.sample()->styleSheet().contains("#04c806"));
    dialog.colour_choice()->setCurrentIndex(0);
    dialog.colour_choice()->setCurrentIndex(3);
    EXPECT_EQ(components(dialog), "4:200:6");

    // The defaults show in the fields without the old values coming back through them.
    press(dialog.default_colours_button());
    EXPECT_EQ(components(dialog), "0:255:0");
    dialog.colour_choice()->setCurrentIndex(0);
    EXPECT_EQ(components(dialog), "0:0:64");

    dialog.thread_check()->setChecked(false);
    press(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(report.shown.empty());
    EXPECT_EQ(section("color"), default_colour_lines);
    EXPECT_TRUE(section("switch").starts_with("list thread=-\nview tree=+\nview preview=+\narrange"));
    EXPECT_NE(ini().find("\r\nopen header=Cc,To\r\n"), std::string::npos);
    EXPECT_FALSE(settings.list_thread);  // read back into the settings
    EXPECT_EQ(format_color(settings.text_normal), "255:255:255");
}

TEST_F(ViewOptions, AFileThatCannotBeWrittenIsReportedAndTheDialogStays) {
    const std::string before = ini();
    block_settings_file();
    dialog_option_view dialog(nullptr, settings, report);
    dialog.show();
    press(dialog.default_colours_button());
    dialog.preview_check()->setChecked(false);
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(report.shown.at(0).first, message_kind::error);
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    EXPECT_EQ(ini(), before);
    EXPECT_TRUE(settings.view_preview);  // the settings keep their old values
    EXPECT_FALSE(dialog.preview_check()->isChecked());  // and the dialog the user's
}

TEST_F(ViewOptions, HeaderNamesAreAddedSortedOnceAndDeletedDownToAnEmptyListThatIsSavedEmpty) {
    dialog_option_view dialog(nullptr, settings, report);
    dialog.show();
    option_list_box* box = dialog.open_headers();
    EXPECT_EQ(rows(box).join(','), "Bcc,Cc,Date,From,Reply-To,Resent-,Sender,Subject,To,X-Mailer");

    with_name_dialog([&] { press(box->add_button()); },
                     [&](dialog_name& ask) {
                         enter_name(ask, "Subject");  // listed: told, and the dialog stays
                         EXPECT_TRUE(ask.isVisible());
                         enter_name(ask, "X-A,X-B");
                         EXPECT_TRUE(ask.isVisible());
                         enter_name(ask, "Organization");
                         EXPECT_FALSE(ask.isVisible());
                     });
    EXPECT_EQ(report.texts(), (names{"すでに同名のものが存在します.", "メールヘッダ名に\",\"を含めることはできません."}));
    EXPECT_EQ(box->list()->currentItem()->text(), "Organization");
    EXPECT_EQ(box->list()->currentRow(), 4);

    // Deleting selects the entry at the same place, the last one at the end.
    box->list()->setCurrentRow(10);
    press(box->delete_button());
    EXPECT_EQ(box->list()->currentItem()->text(), "To");
    while (box->list()->count() > 0) press(box->delete_button());
    EXPECT_FALSE(box->list()->isEnabled() || box->delete_button()->isEnabled());
    with_name_dialog([&] { press(box->add_button()); }, [&](dialog_name& ask) { enter_name(ask, "From"); });
    EXPECT_TRUE(box->list()->isEnabled() && box->delete_button()->isEnabled());
    dialog.accept();
    EXPECT_NE(ini().find("\r\nopen header=From\r\n"), std::string::npos);

    // An empty list is saved as an empty value.
    dialog_option_view again(nullptr, settings, report);
    while (again.open_headers()->list()->count() > 0) press(again.open_headers()->delete_button());
    again.accept();
    EXPECT_NE(ini().find("\r\nopen header=\r\n"), std::string::npos);
    EXPECT_EQ(read_open_header_list(default_open_header), "");
}

TEST_F(ViewOptions, AChosenFontIsKeptWithItsPointsPixelsWeightAndStyle) {
    dialog_option_view dialog(nullptr, settings, report);
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPointSize(12);
    font.setWeight(QFont::Bold);
    font.setItalic(true);
    font.setStyleName(QStringLiteral("Bold"));
    dialog.take_font(font);
    EXPECT_EQ(dialog.font_field()->text(), "Noto Sans CJK JP/12/Bold");
    dialog.accept();
    const int pixels = (12 * dialog.logicalDpiY() + 36) / 72;
    EXPECT_EQ(section("font"), "name=Noto Sans CJK JP\nsize=-" + std::to_string(pixels) +
                                   "\npoint=12\nbold=700\nitalic=+\nstyle=Bold\n");
    EXPECT_EQ(settings.font_size, -pixels);
}

TEST_F(ViewOptions, TheEntryPointSaysOneWhenSavedAndTwoWhenCancelled) {
    for (const bool ok : {false, true}) {
        QTimer::singleShot(0, [ok] {
            auto* dialog = qobject_cast<dialog_option_view*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->tree_check()->setChecked(false);
            ok ? dialog->accept() : dialog->reject();
        });
        EXPECT_EQ(run_view_options(nullptr, settings, report), ok ? 1 : 2);
        EXPECT_EQ(settings.view_tree, !ok);
        EXPECT_EQ(ini().find("view tree=-") != std::string::npos, ok);
    }
}

}  // namespace
}  // namespace qm::test
