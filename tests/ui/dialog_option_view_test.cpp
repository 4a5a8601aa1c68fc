// The view options over a real "quillmere.ini": a colour, a switch and a
// font changed through the widgets reach the file (whose round trip is the
// settings' own, tests/config), and a file that cannot be written.

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QSpinBox>

#include "option_dialog_test.h"
#include "ui/dialog_option_view.h"

namespace qm::test {
namespace {

using ViewOptions = option_dialog_test;

TEST_F(ViewOptions, AColourASwitchAndAFontChangedInTheFieldsAreWrittenByOk) {
    dialog_option_view dialog(nullptr, settings, report);
    look_at(dialog, "表示オプション");
    // The fields write into the colour selected; choosing another and back shows it again.
    dialog.colour_choice()->setCurrentIndex(3);
    dialog.component(1)->setValue(200);
    EXPECT_TRUE(dialog.sample()->styleSheet().contains("#00c800"));
    dialog.colour_choice()->setCurrentIndex(0);
    dialog.colour_choice()->setCurrentIndex(3);
    EXPECT_EQ(dialog.component(1)->value(), 200);
    dialog.thread_check()->setChecked(true);
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPointSize(12);
    font.setWeight(QFont::Bold);
    font.setItalic(true);
    font.setStyleName(QStringLiteral("Bold"));
    dialog.take_font(font);
    EXPECT_EQ(dialog.font_field()->text(), "Noto Sans CJK JP/12/Bold");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(holds("\ntext search=0:200:0\n"));
    EXPECT_TRUE(holds("[switch]\nlist thread=+\n"));
    const int pixels = (12 * dialog.logicalDpiY() + 36) / 72;
    EXPECT_TRUE(holds("[font]\nname=Noto Sans CJK JP\nsize=-" + std::to_string(pixels) +
                      "\npoint=12\nbold=700\nitalic=+\nstyle=Bold\n"));
    EXPECT_TRUE(settings.list_thread);  // read back into the settings
    EXPECT_EQ(settings.font_size, -pixels);
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

}  // namespace
}  // namespace qm::test
