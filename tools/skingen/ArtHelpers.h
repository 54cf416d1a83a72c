#pragma once

#include <QRgb>

#include <algorithm>
#include <cmath>

// Small pixel helpers shared by the generated skin pictures.

// The colour the skinned controls draw as see-through.
constexpr QRgb kMagenta = qRgb(255, 0, 255);

// Colour between `from` (t = 0) and `to` (t = 1), channels rounded.
inline QRgb Mix(QRgb from, QRgb to, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto channel = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    return qRgb(channel(qRed(from), qRed(to)), channel(qGreen(from), qGreen(to)),
                channel(qBlue(from), qBlue(to)));
}

// Brightens (amount > 0) or darkens (amount < 0) a colour.
inline QRgb Shade(QRgb colour, double amount) {
    return amount >= 0 ? Mix(colour, qRgb(255, 255, 255), amount)
                       : Mix(colour, qRgb(0, 0, 0), -amount);
}

// Whether pixel (x, y) lies inside a w x h rectangle with corners rounded by
// `radius`, judged at the pixel's centre.
inline bool InsideRounded(int x, int y, int w, int h, int radius) {
    if (x < 0 || y < 0 || x >= w || y >= h) {
        return false;
    }
    if (radius <= 0) {
        return true;
    }
    const double cx = x < radius ? radius : (x >= w - radius ? w - radius : x + 0.5);
    const double cy = y < radius ? radius : (y >= h - radius ? h - radius : y + 0.5);
    const double dx = x + 0.5 - cx;
    const double dy = y + 0.5 - cy;
    return dx * dx + dy * dy <= double(radius) * radius;
}

// Inside, with a 4-neighbour outside: the one-pixel outline of the rounded shape.
inline bool OnRoundedBorder(int x, int y, int w, int h, int radius) {
    return InsideRounded(x, y, w, h, radius) &&
           (!InsideRounded(x - 1, y, w, h, radius) || !InsideRounded(x + 1, y, w, h, radius) ||
            !InsideRounded(x, y - 1, w, h, radius) || !InsideRounded(x, y + 1, w, h, radius));
}
