#include "StyleBitmap.h"
#include "skin/SkinResources.h"
#include "skin/StyleTable.h"
#include "skin/TsuiButton.h"
#include "skin/TsuiFileTheme.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr QRgb kMagenta = qRgb(255, 0, 255);
constexpr QRgb kGlyphKey = qRgb(0, 128, 128);
constexpr QRgb kGreen = qRgb(0, 200, 0);
constexpr QRgb kRed = qRgb(200, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 200);

// The button as it paints itself over nothing: see-through pixels keep alpha 0.
QImage Render(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage BlueGlassFrame(int index) {
    QImage frame;
    LoadStyleBitmap(TsuiUIStyle::BlueGlass, kButtonImageElement, &frame, index, 3);
    return frame.convertToFormat(QImage::Format_ARGB32);
}

// A 32-pixel-high glyph: `images` squares side by side, each a key-coloured border
// around a solid colour, with a red marker at its (1, 1).
QImage MakeGlyph(std::initializer_list<QRgb> fills) {
    const int count = static_cast<int>(fills.size());
    QImage glyph(32 * count, 32, QImage::Format_RGB32);
    glyph.fill(kGlyphKey);
    int index = 0;
    for (QRgb fill : fills) {
        for (int y = 1; y < 31; ++y) {
            for (int x = 1; x < 31; ++x) {
                glyph.setPixel(index * 32 + x, y, fill);
            }
        }
        glyph.setPixel(index * 32 + 1, 1, kRed);
        ++index;
    }
    return glyph;
}

std::unique_ptr<TsuiButton> BlueGlassButton(int width, int height) {
    auto button = std::make_unique<TsuiButton>();
    button->SetUIStyle(TsuiUIStyle::BlueGlass);
    button->resize(width, height);
    return button;
}

void Press(QWidget& widget) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
}

// Expected pixel: the frame's pixel, or see-through where the frame is magenta.
QRgb Expected(const QImage& frame, int x, int y) {
    const QRgb pixel = frame.pixel(x, y);
    return pixel == kMagenta ? 0u : pixel;
}

TEST(ButtonPaint, BlueGlassFrameOnA76By38ButtonFollowsTheNinePieces) {
    auto button = BlueGlassButton(76, 38);
    ASSERT_TRUE(button->Transparent());
    const QImage frame = BlueGlassFrame(1);
    ASSERT_EQ(frame.size(), QSize(77, 27));
    // The left and right edges come from rows 13 and 14: they must differ to tell.
    ASSERT_NE(frame.pixel(20, 13), frame.pixel(20, 14));
    const QImage shown = Render(*button);
    ASSERT_EQ(shown.size(), QSize(76, 38));

    // Each target rectangle (left, top, right, bottom; right and bottom exclusive)
    // with the source pixel that lands on (x, y), in drawing order; later pieces win.
    struct Piece {
        const char* name;
        QRect target;
        std::function<QPoint(int, int)> source;
    };
    const Piece pieces[] = {
        {"top-left", QRect(QPoint(0, 0), QPoint(37, 12)),
         [](int x, int y) { return QPoint(x, y); }},
        {"bottom-left", QRect(QPoint(0, 26), QPoint(37, 37)),
         [](int x, int y) { return QPoint(x, y - 26 + 15); }},
        {"left edge", QRect(QPoint(0, 13), QPoint(37, 25)),
         [](int x, int) { return QPoint(x, 13); }},
        {"top-right", QRect(QPoint(39, 0), QPoint(75, 12)),
         [](int x, int y) { return QPoint(x - 39 + 40, y); }},
        {"bottom-right", QRect(QPoint(39, 26), QPoint(75, 37)),
         [](int x, int y) { return QPoint(x - 39 + 40, y - 26 + 15); }},
        {"right edge", QRect(QPoint(39, 13), QPoint(75, 25)),
         [](int x, int) { return QPoint(x - 39 + 40, 14); }},
        // Source columns 38 and 39 squeezed into one column: the first one shows.
        {"top edge", QRect(QPoint(38, 0), QPoint(38, 12)),
         [](int, int y) { return QPoint(38, y); }},
        {"centre", QRect(QPoint(38, 13), QPoint(38, 24)), [](int, int) { return QPoint(38, 13); }},
        {"bottom edge", QRect(QPoint(37, 25), QPoint(38, 37)),
         [](int x, int y) { return QPoint(x - 37 + 38, y - 25 + 14); }},
    };
    QImage expected(76, 38, QImage::Format_ARGB32);
    expected.fill(0xDEADBEEF); // marks pixels no piece covers
    for (const Piece& piece : pieces) {
        for (int y = piece.target.top(); y <= piece.target.bottom(); ++y) {
            for (int x = piece.target.left(); x <= piece.target.right(); ++x) {
                const QPoint from = piece.source(x, y);
                const QRgb pixel = Expected(frame, from.x(), from.y());
                // Corners drawn see-through leave what an earlier piece put there.
                if (pixel != 0 || expected.pixel(x, y) == 0xDEADBEEF) {
                    expected.setPixel(x, y, pixel);
                }
            }
        }
    }
    for (const Piece& piece : pieces) {
        for (int y = piece.target.top(); y <= piece.target.bottom(); ++y) {
            for (int x = piece.target.left(); x <= piece.target.right(); ++x) {
                const QRgb want = expected.pixel(x, y);
                const QRgb got = shown.pixel(x, y);
                if (qAlpha(want) == 0) {
                    ASSERT_EQ(qAlpha(got), 0) << piece.name << " at " << x << "," << y;
                } else {
                    ASSERT_EQ(got, want) << piece.name << " at " << x << "," << y;
                }
            }
        }
    }
    // Nothing is left uncovered, and the corners of the button are see-through.
    for (int y = 0; y < 38; ++y) {
        for (int x = 0; x < 76; ++x) {
            ASSERT_NE(expected.pixel(x, y), 0xDEADBEEFu) << x << "," << y;
        }
    }
    for (QPoint corner : {QPoint(0, 0), QPoint(75, 0), QPoint(0, 37), QPoint(75, 37)}) {
        EXPECT_EQ(qAlpha(shown.pixel(corner)), 0) << corner.x() << "," << corner.y();
    }
}

TEST(ButtonPaint, CornersAreOpaqueWithoutTransparency) {
    auto button = BlueGlassButton(76, 38);
    button->SetTransparent(false);
    const QImage shown = Render(*button);
    EXPECT_EQ(shown.pixel(0, 0), 0xFF000000 | kMagenta);
    // The stretched edges keep magenta see-through whatever the setting: the
    // button's background shows there instead.
    EXPECT_EQ(qAlpha(shown.pixel(38, 0)), 255);
}

TEST(ButtonPaint, TheParentShowsThroughATransparentButton) {
    QWidget parent;
    parent.resize(120, 60);
    parent.setAutoFillBackground(true);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    parent.setPalette(palette);
    auto* button = new TsuiButton(&parent);
    button->SetUIStyle(TsuiUIStyle::BlueGlass);
    button->setGeometry(20, 10, 76, 38);
    parent.show();
    const QImage shown = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(20, 10), qRgb(10, 200, 30));
    EXPECT_EQ(shown.pixel(95, 47), qRgb(10, 200, 30));
    EXPECT_EQ(shown.pixel(20 + 38, 10 + 13), BlueGlassFrame(1).pixel(38, 13));
}

TEST(ButtonPaint, GlyphOnlyButtonPutsTheGlyphAt20By3AndMovesItWhenPressed) {
    auto button = BlueGlassButton(76, 38);
    button->SetGlyph(MakeGlyph({kGreen}));
    ASSERT_EQ(button->Spacing(), 4);
    ASSERT_EQ(button->Layout(), TButtonLayout::blGlyphLeft);

    const QImage normal = Render(*button);
    const QImage frame = BlueGlassFrame(1);
    EXPECT_EQ(normal.pixel(21, 4), 0xFF000000 | kRed);
    EXPECT_EQ(normal.pixel(22, 5), 0xFF000000 | kGreen);
    EXPECT_EQ(normal.pixel(50, 33), 0xFF000000 | kGreen);
    // The key-coloured border is see-through: the frame shows there.
    EXPECT_EQ(normal.pixel(20, 20), Render(*BlueGlassButton(76, 38)).pixel(20, 20));
    EXPECT_EQ(normal.pixel(51, 34), Render(*BlueGlassButton(76, 38)).pixel(51, 34));

    Press(*button);
    ASSERT_TRUE(button->Pressed());
    const QImage pressed = Render(*button);
    EXPECT_EQ(pressed.pixel(22, 5), 0xFF000000 | kRed);
    EXPECT_NE(pressed.pixel(21, 4), 0xFF000000 | kRed);
    // Pressed shows frame 3 around the glyph.
    EXPECT_EQ(pressed.pixel(5, 13), BlueGlassFrame(3).pixel(5, 13));
    EXPECT_NE(frame.pixel(5, 13), BlueGlassFrame(3).pixel(5, 13));
}

TEST(ButtonPaint, GlyphPlacementFollowsTheLayout) {
    const int th = QFontMetrics(TsuiButton().font()).height();
    struct Case {
        TButtonLayout layout;
        QPoint glyphAt;
    };
    // 76 x 80 button, 32 x 32 glyph, no caption, 4 pixels spacing.
    const Case cases[] = {
        {TButtonLayout::blGlyphLeft, {20, 24}},
        {TButtonLayout::blGlyphRight, {24, 24}},
        {TButtonLayout::blGlyphTop, {22, (80 - th - 32 - 4) / 2}},
        {TButtonLayout::blGlyphBottom, {22, (80 + th + 4 - 32) / 2}},
    };
    for (const Case& c : cases) {
        auto button = BlueGlassButton(76, 80);
        button->SetGlyph(MakeGlyph({kGreen}));
        button->SetLayout(c.layout);
        const QImage shown = Render(*button);
        EXPECT_EQ(shown.pixel(c.glyphAt + QPoint(1, 1)), 0xFF000000 | kRed)
            << static_cast<int>(c.layout);
    }
}

TEST(ButtonPaint, CaptionBesideTheGlyphStartsAfterTheSpacing) {
    auto button = BlueGlassButton(107, 49);
    button->SetGlyph(MakeGlyph({kGreen}));
    button->SetCaption(QStringLiteral("Imprimir"));
    const QImage shown = Render(*button);
    int glyphLeft = -1;
    for (int x = 0; x < 107 && glyphLeft < 0; ++x) {
        if (shown.pixel(x, (49 - 32) / 2 + 1) == kRed) {
            glyphLeft = x - 1;
        }
    }
    ASSERT_GT(glyphLeft, 0);
    // The glyph moved left of centre by about half the caption's width.
    EXPECT_LT(glyphLeft, (107 - 32 - 4) / 2 - 10);
    const QFontMetrics metrics(button->font());
    EXPECT_EQ(button->CaptionOrigin(), QPoint(glyphLeft + 32 + 4, (49 - metrics.height()) / 2));
}

TEST(ButtonPaint, DisabledButtonShowsTheSecondGlyphImageOverFrameOne) {
    auto button = BlueGlassButton(76, 38);
    button->SetGlyph(MakeGlyph({kGreen, kBlue}));
    EXPECT_EQ(Render(*button).pixel(30, 20), 0xFF000000 | kGreen);
    button->setEnabled(false);
    const QImage disabled = Render(*button);
    EXPECT_EQ(disabled.pixel(30, 20), 0xFF000000 | kBlue);
    EXPECT_EQ(disabled.pixel(21, 4), 0xFF000000 | kRed);
    EXPECT_EQ(disabled.pixel(5, 13), BlueGlassFrame(1).pixel(5, 13));
}

TEST(ButtonPaint, DisabledOneImageGlyphIsGreyedOut) {
    auto button = BlueGlassButton(76, 38);
    button->SetGlyph(MakeGlyph({kGreen}));
    button->setEnabled(false);
    const QImage disabled = Render(*button);
    EXPECT_EQ(disabled.pixel(30, 20), qRgb(128, 128, 128));
    // The white copy one pixel right and down peeks out below and right.
    EXPECT_EQ(disabled.pixel(51, 34), qRgb(255, 255, 255));
}

// Shows `window` active, so that focus and focus changes work off screen.
void ShowActive(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

QImage RenderFocused(TsuiButton& button, bool focused) {
    if (focused) {
        button.setFocus();
        EXPECT_TRUE(button.hasFocus());
    } else {
        button.clearFocus();
    }
    return Render(button);
}

TEST(ButtonPaint, DeepBlueShowsFocusAsADottedRectangleTwoPixelsIn) {
    QWidget window;
    window.resize(200, 100);
    auto* button = new TsuiButton(&window);
    auto* other = new TsuiButton(&window);
    other->move(100, 0);
    ASSERT_EQ(button->UIStyle(), TsuiUIStyle::DeepBlue);
    button->resize(76, 38);
    ShowActive(window);
    const QImage plain = RenderFocused(*button, false);
    const QImage focused = RenderFocused(*button, true);
    auto inverted = [](QRgb pixel) {
        return qRgb(255 - qRed(pixel), 255 - qGreen(pixel), 255 - qBlue(pixel));
    };
    EXPECT_EQ(focused.pixel(2, 2), inverted(plain.pixel(2, 2)));
    EXPECT_EQ(focused.pixel(3, 2), plain.pixel(3, 2));
    EXPECT_EQ(focused.pixel(73, 35), inverted(plain.pixel(73, 35)));
    EXPECT_EQ(focused.pixel(2, 20), inverted(plain.pixel(2, 20)));
    EXPECT_EQ(focused.pixel(1, 1), plain.pixel(1, 1));
    EXPECT_EQ(focused.pixel(4, 4), plain.pixel(4, 4));
    button->SetFocusedRectMargin(5);
    const QImage wider = Render(*button);
    EXPECT_EQ(wider.pixel(2, 2), plain.pixel(2, 2));
    EXPECT_EQ(wider.pixel(5, 5), inverted(plain.pixel(5, 5)));
}

TEST(ButtonPaint, GlassStylesShowFocusByABoldCaptionAndNotBesideAGlyph) {
    for (TsuiUIStyle style : {TsuiUIStyle::BlueGlass, TsuiUIStyle::MacOS}) {
        QWidget window;
        window.resize(200, 100);
        auto* button = new TsuiButton(&window);
        new TsuiButton(&window);
        button->SetUIStyle(style);
        button->resize(107, 38);
        button->SetCaption(QStringLiteral("Imprimir"));
        ShowActive(window);
        const QImage plain = RenderFocused(*button, false);
        const QImage focused = RenderFocused(*button, true);
        EXPECT_NE(plain, focused) << "bold caption expected";
        EXPECT_EQ(plain.pixel(2, 20), focused.pixel(2, 20)) << "no dotted rectangle expected";

        button->SetGlyph(MakeGlyph({kGreen}));
        EXPECT_EQ(RenderFocused(*button, false), RenderFocused(*button, true))
            << "a glyph button shows no focus";
    }
}

TEST(ButtonPaint, MissingButtonBitmapPaintsTheBlankFrameStretched) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile ini(dir.filePath(QStringLiteral("theme.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Text));
    QTextStream(&ini) << "[Theme]\nButtonImage=missing.bmp\nButtonTransparentBool=0\n";
    ini.close();
    TsuiFileTheme theme;
    ASSERT_TRUE(theme.Load(dir.path()));

    auto button = std::make_unique<TsuiButton>();
    button->SetFileTheme(&theme);
    button->SetUIStyle(TsuiUIStyle::FromThemeFile);
    button->resize(76, 38);
    EXPECT_FALSE(button->Transparent());
    const QImage shown = Render(*button);
    for (int y = 0; y < 38; ++y) {
        for (int x = 0; x < 76; ++x) {
            ASSERT_EQ(shown.pixel(x, y), 0xFFFFFFFFu) << x << "," << y;
        }
    }
}

TEST(ButtonStyle, NewButtonsAndStyleChanges) {
    TsuiButton button;
    EXPECT_EQ(button.size(), QSize(80, 27));
    EXPECT_EQ(button.UIStyle(), TsuiUIStyle::DeepBlue);
    EXPECT_FALSE(button.Transparent());
    EXPECT_EQ(button.FocusedRectMargin(), 2);
    EXPECT_EQ(button.MouseContinuouslyDownInterval(), 100);
    EXPECT_EQ(button.ResHandle(), 0u);
    button.SetResHandle(77);
    EXPECT_EQ(button.ResHandle(), 0u);

    button.SetUIStyle(TsuiUIStyle::BlueGlass);
    EXPECT_TRUE(button.Transparent());
    button.SetUIStyle(TsuiUIStyle::WinXP);
    EXPECT_FALSE(button.Transparent());
    button.SetUIStyle(TsuiUIStyle::MacOS);
    button.SetTransparent(false); // a stored value read after the style wins
    EXPECT_FALSE(button.Transparent());
}

TEST(ButtonStyle, AutoSizeTakesOneFrameOfTheStyleBitmap) {
    TsuiButton button;
    button.SetUIStyle(TsuiUIStyle::BlueGlass);
    button.SetAutoSize(true);
    EXPECT_EQ(button.size(), QSize(77, 27));
    button.SetUIStyle(TsuiUIStyle::FromThemeFile);
    button.SetAutoSize(true);
    EXPECT_EQ(button.size(), QSize(24, 21));
}

TEST(ButtonStyle, DestroyingTheFileThemeFallsBackToDeepBlue) {
    TsuiButton button;
    auto theme = std::make_unique<TsuiFileTheme>();
    button.SetUIStyle(TsuiUIStyle::MacOS);
    button.SetFileTheme(theme.get());
    theme.reset();
    EXPECT_EQ(button.FileTheme(), nullptr);
    EXPECT_EQ(button.UIStyle(), TsuiUIStyle::DeepBlue);
    EXPECT_FALSE(button.Transparent());
}

} // namespace
