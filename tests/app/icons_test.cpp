// Our own pictures for the toolbar, the rows and the tray.

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <set>

#include "app/icons.h"
#include "navigator/command_ids.h"

namespace qm::test {
namespace {

class Icons : public ::testing::Test {
protected:
    ~Icons() override {
        QIcon::setThemeSearchPaths(saved_paths_);
        QIcon::setThemeName(saved_theme_);
    }
    // The bytes of the 16 px picture.
    static QByteArray bytes(const QIcon& icon) {
        const QImage picture = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        return QByteArray(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());
    }

    const QString saved_theme_ = QIcon::themeName();
    const QStringList saved_paths_ = QIcon::themeSearchPaths();
};

// Without a theme every toolbar, row and tray icon is one of our pictures: each one is there and
// differs from all the others at 16 px, so no two share a file by mistake. Phase 0 of the tray is the
// program icon and any other phase wraps onto the seven.
TEST_F(Icons, EveryIconIsAPictureOfItsOwnAndTrayPhasesWrap) {
    QIcon::setThemeSearchPaths({});  // a desktop whose icon theme has none of our names
    QIcon::setThemeName(QStringLiteral("quillmere-test-none"));
    std::vector<QIcon> icons;
    for (int command = cmd::toolbar_first; command <= cmd::toolbar_last; ++command)
        icons.push_back(command_icon(command));
    for (const row_icon_kind kind : {row_icon_kind::folder, row_icon_kind::trash, row_icon_kind::mail})
        icons.push_back(row_icon(kind));
    for (int phase = 0; phase < tray_phase_count; ++phase) icons.push_back(tray_icon(phase));
    std::set<QByteArray> seen;
    for (std::size_t i = 0; i < icons.size(); ++i) {
        ASSERT_FALSE(icons[i].isNull()) << i;
        EXPECT_TRUE(seen.insert(bytes(icons[i])).second) << i;
    }
    for (const int other : {0, -1, cmd::close, cmd::select_account, cmd::mark_folder_first, cmd::about})
        EXPECT_TRUE(command_icon(other).isNull()) << other;
    EXPECT_EQ(bytes(tray_icon(0)), bytes(main_icon()));
    for (const auto& [phase, same] : {std::pair{7, 0}, {13, 6}, {-1, 6}, {-7, 0}, {-8, 6}})
        EXPECT_EQ(bytes(tray_icon(phase)), bytes(tray_icon(same))) << phase;
}

}  // namespace
}  // namespace qm::test
