// The view options over a real "quillmere.ini": a switch and a
// font changed through the widgets reach the file (whose round trip is the
// settings' own, tests/config), and a file that cannot be written.

#include <QCheckBox>
#include <QFont>

#include "option_dialog_test.h"
#include "ui/dialog_option_view.h"

namespace qm::test {
namespace {

using ViewOptions = option_dialog_test;

TEST_F(ViewOptions, ASwitchAndAFontAreWrittenByOkAndAFileThatCannotBeWrittenKeepsTheDialog) {
    dialog_option_view dialog(nullptr, settings, report);
    look_at(dialog, "表示オプション");
    dialog.thread_check()->setChecked(true);
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPointSize(12);
    font.setWeight(QFont::Bold);
    font.setItalic(true);
    font.setStyleName(QStringLiteral("Bold"));
    dialog.take_font(font);
    EXPECT_EQ(dialog.font_field()->text(), "Noto Sans CJK JP/12/Bold");
    dialog.accept();
    EXPECT_TRUE(holds("[switch]\nlist thread=+\n"));
    const int pixels = (12 * dialog.logicalDpiY() + 36) / 72;
    EXPECT_TRUE(holds("[font]\nname=Noto Sans CJK JP\nsize=-" + std::to_string(pixels) +
                      "\npoint=12\nbold=700\nitalic=+\nstyle=Bold\n"));
    EXPECT_TRUE(settings.list_thread);  // read back into the settings

    // A file that cannot be written is told, and the dialog and the settings stay as they were.
    const std::string before = ini();
    block_settings_file();
    dialog.show();
    dialog.preview_check()->setChecked(false);
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(report.texts(), names{"ファイルの読み書きに失敗しました."});
    EXPECT_EQ(ini(), before);
    EXPECT_TRUE(settings.view_preview);
}

}  // namespace
}  // namespace qm::test
