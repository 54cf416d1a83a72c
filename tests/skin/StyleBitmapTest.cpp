#include "StyleBitmap.h"
#include "StyleSource.h"
#include "TsuiForm.h"
#include "skin/SkinResources.h"
#include "skin/StyleTable.h"
#include "skin/TsuiFileTheme.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWidget>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

constexpr QRgb kMagenta = qRgb(255, 0, 255);

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

// Bits per pixel as stored in the resource's bitmap header.
int StoredDepth(const std::string& name) {
    InitSkinResources();
    QFile file(SkinResourcePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray header = file.read(30);
    return static_cast<unsigned char>(header[28]) | (static_cast<unsigned char>(header[29]) << 8);
}

TEST(SkinResources, EveryNameOfTheTableAndTheExtrasIsCompiledIn) {
    for (int style = 1; style <= 5; ++style) {
        for (int element = 1; element <= kThemeEntryCount; ++element) {
            const std::string name = StyleImageName(static_cast<TsuiUIStyle>(style), element);
            if (!name.empty()) {
                EXPECT_FALSE(LoadBitmapResource(name).isNull()) << name;
            }
        }
    }
    for (const char* extra :
         {"MACOS_COMBOBOX_BUTTON", "WINXP_COMBOBOX_BUTTON", "MACOS_FORM_BACKGROUND",
          "PROTEIN_FORM_BACKGROUND", "MACOS_MENU_BAR", "MACOS_MENU_SELECT"}) {
        EXPECT_FALSE(LoadBitmapResource(extra).isNull()) << extra;
    }
}

TEST(SkinResources, WindowPicturesHaveTheirStoredSizes) {
    InitSkinResources();
    const std::pair<const char*, int> pictures[] = {
        {"btopen", 19}, {"btclose", 21}, {"btfechar", 32}, {"btup", 32},
        {"btdown", 32}, {"btprint", 48}, {"btmod", 24}};
    for (const auto& [name, size] : pictures) {
        const QImage image(QStringLiteral(":/pictures/%1.bmp").arg(QLatin1String(name)));
        EXPECT_EQ(image.size(), QSize(size, size)) << name;
    }
}

TEST(SkinResources, UnknownAndEmptyNamesRaiseResourceNotFound) {
    EXPECT_THROW(LoadBitmapResource("NO_SUCH_BITMAP"), EResNotFound);
    EXPECT_THROW(LoadBitmapResource(""), EResNotFound);
    QImage target(5, 5, QImage::Format_RGB32);
    EXPECT_THROW(LoadStyleBitmap(TsuiUIStyle::BlueGlass, 43, &target, 0, 0), EResNotFound);
    EXPECT_EQ(target.size(), QSize(5, 5));
}

struct ButtonBitmapCase {
    const char* name;
    QSize size;
    int depth;
    QRgb corner;
};

TEST(SkinResources, ButtonBitmapsHaveTheirGeometryDepthAndCorners) {
    const ButtonBitmapCase cases[] = {
        {"MACOS_BUTTON", {252, 23}, 8, kMagenta},
        {"WINXP_BUTTON", {54, 21}, 8, qRgb(236, 233, 216)},
        {"DEEPBLUE_BUTTON", {222, 21}, 4, qRgb(0, 0, 0)},
        {"PROTEIN_BUTTON", {222, 21}, 8, qRgb(64, 64, 64)},
        {"BLUEGLASS_BUTTON", {231, 27}, 8, kMagenta},
    };
    for (const ButtonBitmapCase& c : cases) {
        const QImage image = LoadBitmapResource(c.name);
        ASSERT_EQ(image.size(), c.size) << c.name;
        EXPECT_EQ(StoredDepth(c.name), c.depth) << c.name;
        const int fw = c.size.width() / 3;
        const int fh = c.size.height();
        for (int frame = 0; frame < 3; ++frame) {
            const int left = frame * fw;
            const int right = left + fw - 1;
            for (QPoint corner :
                 {QPoint(left, 0), QPoint(right, 0), QPoint(left, fh - 1), QPoint(right, fh - 1)}) {
                EXPECT_EQ(At(image, corner.x(), corner.y()), c.corner)
                    << c.name << " frame " << frame + 1 << " at " << corner.x() << ","
                    << corner.y();
            }
            // Only the corners are see-through: the middle of a frame never is.
            EXPECT_NE(At(image, left + fw / 2, fh / 2), kMagenta) << c.name;
        }
    }
}

TEST(StyleBitmap, FrameTwoOfTheBlueGlassButtonIsItsMiddleThird) {
    const QImage whole = LoadBitmapResource("BLUEGLASS_BUTTON");
    QImage frame;
    LoadStyleBitmap(TsuiUIStyle::BlueGlass, kButtonImageElement, &frame, 2, 3);
    ASSERT_EQ(frame.size(), QSize(77, 27));
    for (int y = 0; y < 27; ++y) {
        for (int x = 0; x < 77; ++x) {
            ASSERT_EQ(At(frame, x, y), At(whole, 77 + x, y)) << x << "," << y;
        }
    }
    QImage all;
    LoadStyleBitmap(TsuiUIStyle::BlueGlass, kButtonImageElement, &all, 1, 0);
    EXPECT_EQ(all.size(), QSize(231, 27));
}

TEST(StyleBitmap, LoadingLeavesTheTargetAloneWhenThereIsNoImage) {
    LoadStyleBitmap(TsuiUIStyle::BlueGlass, kButtonImageElement, nullptr, 1, 3);
    QImage target(4, 4, QImage::Format_RGB32);
    target.fill(Qt::red);
    LoadStyleBitmap(TsuiUIStyle::FromThemeFile, kButtonImageElement, &target, 1, 3);
    LoadStyleBitmap(TsuiUIStyle::BlueGlass, kButtonTransparentElement, &target, 1, 3);
    LoadStyleBitmap(static_cast<TsuiUIStyle>(9), kButtonImageElement, &target, 1, 3);
    EXPECT_EQ(target.size(), QSize(4, 4));
    EXPECT_EQ(At(target, 0, 0), qRgb(255, 0, 0));
}

TEST(CutFrame, DropsTheColumnsBeyondTheLastWholeFrame) {
    // 11 columns in 3 frames: frames are 3 wide, columns 9 and 10 belong to none.
    QImage source(11, 2, QImage::Format_RGB32);
    for (int x = 0; x < 11; ++x) {
        for (int y = 0; y < 2; ++y) {
            source.setPixel(x, y, qRgb(x * 20, y * 100, 0));
        }
    }
    QImage target;
    CutFrame(source, target, 3, 3);
    ASSERT_EQ(target.size(), QSize(3, 2));
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(At(target, x, 1), qRgb((6 + x) * 20, 100, 0));
    }
    CutFrame(source, target, 3, 1);
    EXPECT_EQ(At(target, 0, 0), qRgb(0, 0, 0));
    // More frames than columns gives empty frames, not a crash.
    CutFrame(source, target, 20, 20);
    EXPECT_EQ(target.width(), 0);
}

TEST(CutFrame, RefusesFramesThatDoNotExist) {
    const QImage source(9, 1, QImage::Format_RGB32);
    QImage target;
    EXPECT_THROW(CutFrame(source, target, 3, 0), std::invalid_argument);
    EXPECT_THROW(CutFrame(source, target, 3, 4), std::invalid_argument);
    EXPECT_THROW(CutFrame(source, target, 0, 1), std::invalid_argument);
}

TEST(OwnerStyle, ComesFromTheFirstSkinnedFormOfAWindow) {
    EXPECT_EQ(OwnerStyle(nullptr), TsuiUIStyle::DeepBlue);
    QWidget plainWindow;
    EXPECT_EQ(OwnerStyle(&plainWindow), TsuiUIStyle::DeepBlue);

    QWidget skinnedWindow;
    new QWidget(&skinnedWindow);
    new TsuiForm(&skinnedWindow, TsuiUIStyle::Protein);
    new TsuiForm(&skinnedWindow, TsuiUIStyle::MacOS);
    EXPECT_EQ(OwnerStyle(&skinnedWindow), TsuiUIStyle::Protein);

    // A form nested deeper, or a panel as owner, does not count.
    QWidget nestedWindow;
    auto* panel = new QWidget(&nestedWindow);
    new TsuiForm(panel, TsuiUIStyle::WinXP);
    EXPECT_EQ(OwnerStyle(&nestedWindow), TsuiUIStyle::DeepBlue);
    EXPECT_EQ(OwnerStyle(panel), TsuiUIStyle::DeepBlue);
}

// Writes a theme folder with the given theme.ini lines.
void WriteTheme(const QTemporaryDir& dir, const QString& lines) {
    QFile ini(dir.filePath(QStringLiteral("theme.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Text));
    QTextStream(&ini) << "[Theme]\n" << lines;
}

TEST(ResolveThemeSource, UsesAFileThemeOnlyWhenOneIsLoaded) {
    const ThemeSource builtIn = ResolveThemeSource(nullptr, TsuiUIStyle::BlueGlass);
    EXPECT_FALSE(builtIn.useFileTheme);
    EXPECT_EQ(builtIn.style, TsuiUIStyle::BlueGlass);

    const ThemeSource none = ResolveThemeSource(nullptr, TsuiUIStyle::FromThemeFile);
    EXPECT_FALSE(none.useFileTheme);
    EXPECT_EQ(none.style, TsuiUIStyle::DeepBlue);

    TsuiFileTheme theme;
    const ThemeSource unloaded = ResolveThemeSource(&theme, TsuiUIStyle::FromThemeFile);
    EXPECT_FALSE(unloaded.useFileTheme);
    EXPECT_EQ(unloaded.style, TsuiUIStyle::DeepBlue);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteTheme(dir, QString());
    ASSERT_TRUE(theme.Load(dir.path())) << theme.LastError().toStdString();
    const ThemeSource loaded = ResolveThemeSource(&theme, TsuiUIStyle::FromThemeFile);
    EXPECT_TRUE(loaded.useFileTheme);
    EXPECT_EQ(loaded.style, TsuiUIStyle::FromThemeFile);
    EXPECT_FALSE(ResolveThemeSource(&theme, TsuiUIStyle::WinXP).useFileTheme);
}

TEST(TsuiFileTheme, ReadsEntriesByKeyAndCutsItsBitmaps) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage strip(30, 4, QImage::Format_RGB32);
    strip.fill(Qt::blue);
    for (int y = 0; y < 4; ++y) {
        for (int x = 10; x < 20; ++x) {
            strip.setPixel(x, y, qRgb(0, 255, 0));
        }
    }
    ASSERT_TRUE(strip.save(dir.filePath(QStringLiteral("button.bmp"))));
    WriteTheme(dir, QStringLiteral("ButtonImage=button.bmp\nButtonTransparentBool=1\n"
                                   "TitleBarButtonTopInt=-7\nFormBorderColor=C82C00\n"
                                   "FormMinWidthInt=wide\n"));
    TsuiFileTheme theme;
    ASSERT_TRUE(theme.Load(dir.path()));
    EXPECT_TRUE(theme.GetBool(kButtonTransparentElement));
    EXPECT_EQ(theme.GetInt(9), -7);
    EXPECT_EQ(theme.GetColor(16), 0xC82C00u);
    EXPECT_EQ(theme.GetInt(13), -1);  // unreadable value
    EXPECT_EQ(theme.GetInt(14), -1);  // absent value
    EXPECT_EQ(theme.GetColor(1), 0u); // an image is no colour
    const QImage middle = theme.GetBitmap(kButtonImageElement, 2, 3);
    ASSERT_EQ(middle.size(), QSize(10, 4));
    EXPECT_EQ(At(middle, 0, 0), qRgb(0, 255, 0));
    EXPECT_THROW(theme.GetBitmap(3, 1, 3), EResNotFound); // no checkbox image stored

    QTemporaryDir empty;
    EXPECT_FALSE(theme.Load(empty.path()));
    EXPECT_FALSE(theme.CanUse());
    EXPECT_FALSE(theme.LastError().isEmpty());
}

} // namespace
