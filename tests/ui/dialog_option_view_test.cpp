// The view options over a real "quillmere.ini": what OK writes, what the
// lists and the colour fields do, and a file that cannot be written.

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>

#include "option_dialog_test.h"
#include "ui/dialog_name.h"
#include "ui/dialog_option_view.h"
#include "ui/option_list_box.h"

namespace qm::test {
namespace {

using ViewOptions = option_dialog_test;

QString components(const dialog_option_view& dialog) {
    return QStringLiteral("%1:%2:%3").arg(dialog.component(0)->value()).arg(dialog.component(1)->value())
        .arg(dialog.component(2)->value());
}

TEST_F(ViewOptions, TheColourFieldsEditTheChosenColourCancelKeepsNothingAndOkWritesTheGroup) {
    settings.text_search = parse_color("4:5:6");
    ASSERT_TRUE(save_view_settings(settings, "To,Cc"));
    load_view_settings(settings);
    const std::string before = ini();
    {
        dialog_option_view dialog(nullptr, settings, report);
        look_at(dialog, "表示オプション");
        // The fields write into the colour selected; choosing another shows it.
        dialog.colour_choice()->setCurrentIndex(3);
        EXPECT_EQ(components(dialog), "4:5:6");
        dialog.component(1)->setValue(200);
        EXPECT_TRUE(dialog.sample()->styleSheet().contains("#04c806"));
        dialog.colour_choice()->setCurrentIndex(0);
        dialog.colour_choice()->setCurrentIndex(3);
        EXPECT_EQ(components(dialog), "4:200:6");
        dialog.thread_check()->setChecked(true);
        dialog.reject();
    }
    EXPECT_EQ(ini(), before);
    EXPECT_FALSE(settings.list_thread);

    // The defaults show in the fields without the old values coming back through them.
    dialog_option_view again(nullptr, settings, report);
    again.show();
    again.colour_choice()->setCurrentIndex(3);
    again.component(1)->setValue(200);
    press(again.default_colours_button());
    EXPECT_EQ(components(again), "0:255:0");
    again.thread_check()->setChecked(true);
    again.accept();
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(section("color"), "back ground=0:0:64\nback text=0:0:255\ntext directory=0:255:255\ntext search=0:255:0\n"
                                "text new=255:255:0\ntext normal=255:255:255\n");
    EXPECT_TRUE(section("switch").starts_with("list thread=+\n"));
    EXPECT_NE(ini().find("\r\nopen header=Cc,To\r\n"), std::string::npos);
    EXPECT_TRUE(settings.list_thread);  // read back into the settings
}

TEST_F(ViewOptions, AFileThatCannotBeWrittenIsReportedAndTheDialogStays) {
    const std::string before = ini();
    block_settings_file();
    dialog_option_view dialog(nullptr, settings, report);
    dialog.show();
    dialog.preview_check()->setChecked(false);
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(report.shown.at(0).first, message_kind::error);
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    EXPECT_EQ(ini(), before);
    EXPECT_TRUE(settings.view_preview);  // the settings keep their old values
}

TEST_F(ViewOptions, HeaderNamesGoDownToAnEmptyListThatIsSavedEmptyAndAChosenFontKeepsPointsPixelsWeightAndStyle) {
    dialog_option_view dialog(nullptr, settings, report);
    dialog.show();
    option_list_box* box = dialog.open_headers();
    with_modal<dialog_name>([&] { press(box->add_button()); }, [](dialog_name& ask) {
        type_into(ask.field(), "Organization");  // the list's rules are the option checks'
        QTest::keyClick(ask.field(), Qt::Key_Return);
    });
    EXPECT_EQ(box->list()->currentRow(), 4);  // in its place, and selected
    box->list()->setCurrentRow(10);
    press(box->delete_button());
    EXPECT_EQ(box->list()->currentItem()->text(), "To");  // the entry at the same place, the last one at the end
    while (box->list()->count() > 0) press(box->delete_button());
    EXPECT_FALSE(box->list()->isEnabled() || box->delete_button()->isEnabled());

    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPointSize(12);
    font.setWeight(QFont::Bold);
    font.setItalic(true);
    font.setStyleName(QStringLiteral("Bold"));
    dialog.take_font(font);
    EXPECT_EQ(dialog.font_field()->text(), "Noto Sans CJK JP/12/Bold");
    dialog.accept();
    EXPECT_NE(ini().find("\r\nopen header=\r\n"), std::string::npos);
    const int pixels = (12 * dialog.logicalDpiY() + 36) / 72;
    EXPECT_EQ(section("font"), "name=Noto Sans CJK JP\nsize=-" + std::to_string(pixels) +
                                   "\npoint=12\nbold=700\nitalic=+\nstyle=Bold\n");
    EXPECT_EQ(settings.font_size, -pixels);
}

}  // namespace
}  // namespace qm::test
