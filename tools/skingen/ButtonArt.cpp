#include "ButtonArt.h"

#include "ArtHelpers.h"

#include <cmath>

namespace {

constexpr QRgb kMagenta = qRgb(255, 0, 255);

struct ButtonLook {
    const char* name;
    int frameWidth;
    int frameHeight;
    int radius;
    QRgb corner; // every pixel outside the rounded shape
    QRgb border;
    QRgb top; // face colours of the normal frame
    QRgb bottom;
    bool glass; // light upper half, deep lower half, highlight line
    int levels; // face colour steps per frame (few for a 16-colour bitmap)
    int bitsPerPixel;
};

// Mouse over lightens the face, pressed darkens it.
QRgb StateShade(QRgb colour, int state) {
    return state == 1 ? Shade(colour, 0.25) : state == 2 ? Shade(colour, -0.2) : colour;
}

QRgb FacePixel(const ButtonLook& look, int y, int state) {
    const int h = look.frameHeight;
    double t = double(y) / (h - 1);
    t = std::floor(t * look.levels) / look.levels;
    if (!look.glass) {
        return StateShade(Mix(look.top, look.bottom, t), state);
    }
    // Glass: a pale band over the upper half, the deep colour rising again at the foot.
    const QRgb top = StateShade(look.top, state);
    const QRgb bottom = StateShade(look.bottom, state);
    if (t < 0.5) {
        return Mix(Shade(top, 0.55), top, t * 2);
    }
    return Mix(bottom, Shade(bottom, 0.35), (t - 0.5) * 2);
}

QImage Draw(const ButtonLook& look) {
    const int fw = look.frameWidth;
    const int fh = look.frameHeight;
    QImage image(fw * 3, fh, QImage::Format_RGB32);
    for (int state = 0; state < 3; ++state) {
        for (int y = 0; y < fh; ++y) {
            for (int x = 0; x < fw; ++x) {
                QRgb colour;
                if (!InsideRounded(x, y, fw, fh, look.radius)) {
                    colour = look.corner;
                } else if (OnRoundedBorder(x, y, fw, fh, look.radius)) {
                    colour = look.border;
                } else if (look.glass && y == 1) {
                    colour = Shade(StateShade(look.top, state), 0.8);
                } else {
                    colour = FacePixel(look, y, state);
                }
                image.setPixel(state * fw + x, y, colour);
            }
        }
    }
    return image;
}

} // namespace

std::vector<ButtonBitmap> MakeButtonBitmaps() {
    const ButtonLook looks[] = {
        {"MACOS_BUTTON", 84, 23, 11, kMagenta, qRgb(110, 110, 120), qRgb(120, 170, 235),
         qRgb(40, 110, 215), true, 23, 8},
        {"WINXP_BUTTON", 18, 21, 3, qRgb(236, 233, 216), qRgb(0, 60, 116), qRgb(255, 255, 255),
         qRgb(214, 208, 197), false, 21, 8},
        {"DEEPBLUE_BUTTON", 74, 21, 0, qRgb(0, 0, 0), qRgb(0, 0, 0), qRgb(90, 130, 210),
         qRgb(20, 50, 130), false, 4, 4},
        {"PROTEIN_BUTTON", 74, 21, 0, qRgb(64, 64, 64), qRgb(64, 64, 64), qRgb(250, 250, 250),
         qRgb(190, 190, 195), false, 21, 8},
        {"BLUEGLASS_BUTTON", 77, 27, 6, kMagenta, qRgb(25, 65, 140), qRgb(110, 170, 235),
         qRgb(25, 95, 200), true, 27, 8},
    };
    std::vector<ButtonBitmap> bitmaps;
    for (const ButtonLook& look : looks) {
        bitmaps.push_back({QString::fromLatin1(look.name), Draw(look), look.bitsPerPixel});
    }
    return bitmaps;
}
