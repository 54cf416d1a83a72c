#include "ButtonArt.h"

#include "ArtHelpers.h"

#include <cmath>

namespace {

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
    const double t = double(y) / (look.frameHeight - 1);
    const QRgb top = StateShade(look.top, state);
    const QRgb bottom = StateShade(look.bottom, state);
    if (!look.glass) {
        return Mix(top, bottom, std::floor(t * look.levels) / look.levels);
    }
    // Glass: a pale band over the upper part with a sharp lower edge, then a body that
    // darkens slowly at first, so that the rows around the middle, which the button
    // stretches over its height, are nearly alike; the foot catches some light again.
    constexpr double kBandEnd = 0.42;
    if (t < kBandEnd) {
        return Mix(Shade(top, 0.65), Shade(top, 0.25), t / kBandEnd);
    }
    const double u = (t - kBandEnd) / (1 - kBandEnd);
    constexpr double kFoot = 0.85;
    if (u > kFoot) {
        return Mix(bottom, Shade(bottom, 0.4), (u - kFoot) / (1 - kFoot));
    }
    return Mix(top, bottom, (u * u) / (kFoot * kFoot));
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
        {"DEEPBLUE_BUTTON", 74, 21, 0, qRgb(0, 0, 0), qRgb(0, 0, 0), qRgb(185, 205, 245),
         qRgb(95, 135, 215), false, 4, 4},
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
