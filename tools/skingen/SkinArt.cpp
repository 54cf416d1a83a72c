#include "SkinArt.h"

#include "ArtHelpers.h"

#include <cstdlib>

namespace {

struct StyleColours {
    const char* prefix;
    QRgb light;
    QRgb dark;
    QRgb border;
    QRgb outside; // see-through magenta for the glass styles, the control colour otherwise
    int radius;
};

enum class Shape {
    Box,    // bordered gradient, one shade per frame
    Check,  // box, frames in the second half ticked
    Radio,  // circle, frames in the second half dotted
    Arrows, // box with an arrow, direction turning with the frame
    Grip,   // box with grip lines (sliders, handles)
    Band,   // plain gradient without border
    Line,   // the border colour with a light top row
};

struct Piece {
    const char* suffix;
    Shape shape;
    int frames;
    int frameWidth;
    int frameHeight;
};

QRgb FrameShade(QRgb colour, int frame, int frames) {
    if (frames < 2) {
        return colour;
    }
    const int state = frame % 3;
    return state == 1 ? Shade(colour, 0.25) : state == 2 ? Shade(colour, -0.15) : colour;
}

bool OnArrow(int x, int y, int w, int h, int direction) {
    // A filled triangle in the middle third, pointing up, down, left or right.
    const int cx = w / 2;
    const int cy = h / 2;
    const int size = std::max(2, std::min(w, h) / 4);
    int along = 0;
    int across = 0;
    switch (direction % 4) {
    case 0:
        along = cy + size / 2 - y;
        across = x - cx;
        break; // up
    case 1:
        along = y - (cy - size / 2);
        across = x - cx;
        break; // down
    case 2:
        along = cx + size / 2 - x;
        across = y - cy;
        break; // left
    default:
        along = x - (cx - size / 2);
        across = y - cy;
        break; // right
    }
    return along >= 0 && along <= size && std::abs(across) <= size - along;
}

QRgb PiecePixel(const StyleColours& style, const Piece& piece, int frame, int x, int y) {
    const int w = piece.frameWidth;
    const int h = piece.frameHeight;
    const QRgb light = FrameShade(style.light, frame, piece.frames);
    const QRgb dark = FrameShade(style.dark, frame, piece.frames);
    const QRgb face = Mix(light, dark, h > 1 ? double(y) / (h - 1) : 0);
    const bool marked = frame >= piece.frames / 2 && piece.frames > 1;
    switch (piece.shape) {
    case Shape::Band:
        return face;
    case Shape::Line:
        return y == 0 ? style.light : style.border;
    case Shape::Radio: {
        const int radius = std::min(w, h) / 2;
        if (!InsideRounded(x, y, w, h, radius)) {
            return style.outside;
        }
        if (OnRoundedBorder(x, y, w, h, radius)) {
            return style.border;
        }
        const bool dot = std::abs(2 * x + 1 - w) <= w / 3 && std::abs(2 * y + 1 - h) <= h / 3;
        return marked && dot ? style.border : Shade(face, 0.3);
    }
    default:
        break;
    }
    if (!InsideRounded(x, y, w, h, style.radius)) {
        return style.outside;
    }
    if (OnRoundedBorder(x, y, w, h, style.radius)) {
        return style.border;
    }
    if (piece.shape == Shape::Check && marked) {
        // A tick: down from the left third to the bottom third, then up to the right.
        const int bottom = h * 3 / 4;
        const int mid = w * 2 / 5;
        const bool leftLeg = x >= w / 5 && x <= mid && std::abs(y - (bottom - (mid - x))) <= 1;
        const bool rightLeg =
            x > mid && x <= w * 4 / 5 && std::abs(y - (bottom - (x - mid) * 3 / 2)) <= 1;
        if (leftLeg || rightLeg) {
            return style.border;
        }
    }
    if (piece.shape == Shape::Arrows && OnArrow(x, y, w, h, frame / 2)) {
        return style.border;
    }
    if (piece.shape == Shape::Grip && (w >= h ? (x - w / 2) : (y - h / 2)) % 3 == 0 &&
        std::abs(w >= h ? x - w / 2 : y - h / 2) <= 3 &&
        std::abs(w >= h ? y - h / 2 : x - w / 2) <= std::min(w, h) / 4) {
        return Shade(style.border, 0.3);
    }
    return face;
}

QImage DrawPiece(const StyleColours& style, const Piece& piece) {
    QImage image(piece.frameWidth * piece.frames, piece.frameHeight, QImage::Format_RGB32);
    for (int frame = 0; frame < piece.frames; ++frame) {
        for (int y = 0; y < piece.frameHeight; ++y) {
            for (int x = 0; x < piece.frameWidth; ++x) {
                image.setPixel(frame * piece.frameWidth + x, y,
                               PiecePixel(style, piece, frame, x, y));
            }
        }
    }
    return image;
}

} // namespace

std::vector<SkinBitmap> MakeSkinBitmaps() {
    const StyleColours styles[] = {
        {"MACOS_", qRgb(245, 245, 248), qRgb(95, 150, 225), qRgb(110, 110, 120), kMagenta, 3},
        {"WINXP_", qRgb(255, 255, 255), qRgb(214, 208, 197), qRgb(0, 60, 116), qRgb(239, 235, 222),
         2},
        {"DEEPBLUE_", qRgb(90, 130, 210), qRgb(20, 50, 130), qRgb(0, 0, 0), qRgb(232, 232, 232), 0},
        {"PROTEIN_", qRgb(250, 250, 250), qRgb(190, 190, 195), qRgb(64, 64, 64),
         qRgb(251, 251, 251), 0},
        {"BLUEGLASS_", qRgb(200, 228, 250), qRgb(25, 95, 200), qRgb(25, 65, 140), kMagenta, 2},
    };
    const Piece pieces[] = {
        {"CHECKBOX", Shape::Check, 4, 13, 13},
        {"RADIOBUTTON", Shape::Radio, 4, 13, 13},
        {"TITLEBTN", Shape::Box, 4, 17, 17},
        {"TITLE_LEFT", Shape::Band, 1, 6, 26},
        {"TITLE_CLIENT", Shape::Band, 1, 12, 26},
        {"TITLE_RIGHT", Shape::Band, 1, 6, 26},
        {"PROGRESSBAR", Shape::Box, 2, 10, 16},
        {"TRACKBAR_BAR", Shape::Line, 1, 30, 5},
        {"TRACKBAR_SLIDER", Shape::Grip, 3, 11, 20},
        {"TRACKBAR_SLIDER_V", Shape::Grip, 3, 20, 11},
        {"SCROLLBAR_BUTTON", Shape::Arrows, 8, 16, 16},
        {"SCROLLBAR_TRACK", Shape::Grip, 3, 16, 16},
        {"CHECKLIST", Shape::Check, 4, 13, 13},
        {"TAB", Shape::Box, 3, 24, 22},
        {"TAB_LINE", Shape::Line, 1, 8, 4},
        {"SIDECHENNEL_HANDLE", Shape::Grip, 3, 10, 64},
        {"SIDECHENNEL_BAR", Shape::Band, 1, 10, 32},
    };
    const Piece scrollButton{"SCROLLBUTTON", Shape::Arrows, 2, 16, 16};

    std::vector<SkinBitmap> bitmaps;
    for (const StyleColours& style : styles) {
        const QString prefix = QString::fromLatin1(style.prefix);
        for (const Piece& piece : pieces) {
            bitmaps.push_back({prefix + QLatin1String(piece.suffix), DrawPiece(style, piece)});
        }
    }
    // MacOS and WinXP have their own scroll buttons; the other styles share one.
    bitmaps.push_back({QStringLiteral("MACOS_SCROLLBUTTON"), DrawPiece(styles[0], scrollButton)});
    bitmaps.push_back({QStringLiteral("WINXP_SCROLLBUTTON"), DrawPiece(styles[1], scrollButton)});
    bitmaps.push_back({QStringLiteral("MORE_SCROLLBUTTON"), DrawPiece(styles[2], scrollButton)});

    // Loaded by name by skinned forms and menus.
    bitmaps.push_back({QStringLiteral("MACOS_COMBOBOX_BUTTON"),
                       DrawPiece(styles[0], {"", Shape::Arrows, 3, 17, 19})});
    bitmaps.push_back({QStringLiteral("WINXP_COMBOBOX_BUTTON"),
                       DrawPiece(styles[1], {"", Shape::Arrows, 3, 17, 19})});
    bitmaps.push_back({QStringLiteral("MACOS_FORM_BACKGROUND"),
                       DrawPiece(styles[0], {"", Shape::Grip, 1, 32, 32})});
    bitmaps.push_back({QStringLiteral("PROTEIN_FORM_BACKGROUND"),
                       DrawPiece(styles[3], {"", Shape::Band, 1, 32, 32})});
    bitmaps.push_back(
        {QStringLiteral("MACOS_MENU_BAR"), DrawPiece(styles[0], {"", Shape::Band, 1, 8, 20})});
    bitmaps.push_back(
        {QStringLiteral("MACOS_MENU_SELECT"), DrawPiece(styles[0], {"", Shape::Box, 1, 8, 18})});
    return bitmaps;
}
