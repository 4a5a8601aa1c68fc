// Our own pictures for the toolbar, the rows and the tray, and the desktop's
// theme taken only where it has the exact name.

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <set>

#include "app/icons.h"
#include "navigator/command_ids.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

constexpr int small_size = 16;

class Icons : public ::testing::Test {
protected:
    ~Icons() override {
        QIcon::setThemeSearchPaths(saved_paths_);
        QIcon::setThemeName(saved_theme_);
    }

    // A desktop whose icon theme has none of our names.
    static void use_no_theme() {
        QIcon::setThemeSearchPaths({});
        QIcon::setThemeName(QStringLiteral("quillmere-test-none"));
    }
    static QImage image(const QIcon& icon) {
        return icon.pixmap(small_size, small_size).toImage().convertToFormat(QImage::Format_ARGB32);
    }
    // The bytes of the 16 px picture.
    static QByteArray bytes(const QIcon& icon) {
        const QImage picture = image(icon);
        return QByteArray(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());
    }
    // The share of the 16 px picture that is not transparent.
    static double covered(const QIcon& icon) {
        const QImage image = Icons::image(icon);
        EXPECT_EQ(image.size(), QSize(small_size, small_size));
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        return static_cast<double>(opaque) / (small_size * small_size);
    }

    const QString saved_theme_ = QIcon::themeName();
    const QStringList saved_paths_ = QIcon::themeSearchPaths();
};

// Without a theme every toolbar and row icon is one of our pictures: each one
// is there, draws something at 16 px and differs from all the others, so no
// two commands share a file by mistake.
TEST_F(Icons, EveryToolbarAndRowIconIsAPictureOfItsOwn) {
    use_no_theme();
    std::vector<QIcon> icons;
    for (int command = cmd::toolbar_first; command <= cmd::toolbar_last; ++command)
        icons.push_back(command_icon(command));
    for (const row_icon_kind kind : {row_icon_kind::folder, row_icon_kind::trash, row_icon_kind::mail})
        icons.push_back(row_icon(kind));
    std::set<QByteArray> seen;
    for (std::size_t i = 0; i < icons.size(); ++i) {
        ASSERT_FALSE(icons[i].isNull()) << i;
        EXPECT_GT(covered(icons[i]), 0.25) << i;
        EXPECT_TRUE(seen.insert(bytes(icons[i])).second) << i;
    }

    for (const int other : {0, -1, cmd::close, cmd::select_account, cmd::mark_folder_first, cmd::about})
        EXPECT_TRUE(command_icon(other).isNull()) << other;
}

// Phase 0 is the program icon, the seven phases all differ, and any other
// number wraps onto them.
TEST_F(Icons, TrayPhasesWrapOntoSevenPictures) {
    std::set<QByteArray> seen;
    for (int phase = 0; phase < tray_phase_count; ++phase) {
        EXPECT_GT(covered(tray_icon(phase)), 0.25) << phase;
        EXPECT_TRUE(seen.insert(bytes(tray_icon(phase))).second) << phase;
    }
    EXPECT_EQ(bytes(tray_icon(0)), bytes(main_icon()));
    const std::pair<int, int> wraps[] = {{7, 0}, {8, 1}, {13, 6}, {-1, 6}, {-7, 0}, {-8, 6}, {701, 1}};
    for (const auto& [phase, same] : wraps)
        EXPECT_EQ(bytes(tray_icon(phase)), bytes(tray_icon(same))) << phase;
}

// A theme's icon is taken only under its exact name, and never for the
// program icon: this theme has "folder", "user-trash" and "quillmere" (all
// plain red) but not "folder-new", which Qt would otherwise answer with
// "folder".
TEST_F(Icons, ThemeIconsAreTakenByExactNameOnly) {
    temp_dir root;
    write_bytes(root / "red/index.theme", "[Icon Theme]\nName=red\nDirectories=places\n\n"
                                          "[places]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    for (const char* name : {"folder", "user-trash", "quillmere"})
        write_bytes(root / ("red/places/" + std::string(name) + ".svg"),
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
                    "<rect width=\"16\" height=\"16\" fill=\"#ff0000\"/></svg>");
    QIcon::setThemeSearchPaths({QString::fromStdString(root.path())});
    QIcon::setThemeName(QStringLiteral("red"));
    const auto red = [](const QIcon& icon) {
        return image(icon).pixel(0, 0) == qRgb(255, 0, 0) && image(icon).pixel(15, 15) == qRgb(255, 0, 0);
    };
    for (const QIcon& icon : {row_icon(row_icon_kind::folder), row_icon(row_icon_kind::trash), command_icon(cmd::to_trash)})
        EXPECT_TRUE(red(icon));
    for (const QIcon& icon : {command_icon(cmd::new_folder), row_icon(row_icon_kind::mail), main_icon()})
        EXPECT_FALSE(red(icon));

    const QByteArray ours = bytes(command_icon(cmd::new_folder));
    use_no_theme();
    EXPECT_EQ(ours, bytes(command_icon(cmd::new_folder)));
}

}  // namespace
}  // namespace qm::test
