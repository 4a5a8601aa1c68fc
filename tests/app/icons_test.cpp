#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <set>
#include <utility>
#include <vector>

#include "app/icons.h"
#include "navigator/command_ids.h"

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
    // The bytes of the 16 px picture.
    static QByteArray bytes(const QIcon& icon) {
        const QImage image = icon.pixmap(small_size, small_size).toImage().convertToFormat(QImage::Format_ARGB32);
        return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    }
    // The share of the 16 px picture that is not transparent.
    static double covered(const QIcon& icon) {
        const QImage image = icon.pixmap(small_size, small_size).toImage().convertToFormat(QImage::Format_ARGB32);
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
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString theme = root.path() + QStringLiteral("/red");
    ASSERT_TRUE(QDir().mkpath(theme + QStringLiteral("/scalable/places")));
    const auto write = [](const QString& path, const QByteArray& contents) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    };
    ASSERT_TRUE(write(theme + QStringLiteral("/index.theme"),
                      "[Icon Theme]\nName=red\nDirectories=scalable/places\n\n"
                      "[scalable/places]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n"));
    const QByteArray red_square =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
        "<rect width=\"16\" height=\"16\" fill=\"#ff0000\"/></svg>";
    for (const char* name : {"folder", "user-trash", "quillmere"})
        ASSERT_TRUE(write(theme + QStringLiteral("/scalable/places/") + QLatin1String(name) + QStringLiteral(".svg"),
                          red_square));
    QIcon::setThemeSearchPaths({root.path()});
    QIcon::setThemeName(QStringLiteral("red"));

    const auto red = [](const QIcon& icon) {
        const QImage image = icon.pixmap(small_size, small_size).toImage();
        return image.pixel(0, 0) == qRgb(255, 0, 0) && image.pixel(15, 15) == qRgb(255, 0, 0);
    };
    EXPECT_TRUE(red(row_icon(row_icon_kind::folder)));
    EXPECT_TRUE(red(row_icon(row_icon_kind::trash)));
    EXPECT_TRUE(red(command_icon(cmd::to_trash)));
    EXPECT_FALSE(red(command_icon(cmd::new_folder)));
    EXPECT_FALSE(red(row_icon(row_icon_kind::mail)));
    EXPECT_FALSE(red(main_icon()));

    const QByteArray ours = bytes(command_icon(cmd::new_folder));
    use_no_theme();
    EXPECT_EQ(ours, bytes(command_icon(cmd::new_folder)));
}

}  // namespace
}  // namespace qm::test
