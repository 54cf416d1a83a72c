#pragma once

#include <QImage>
#include <QString>

#include <vector>

// One style's button bitmap: three frames side by side (normal, mouse over,
// pressed) and the colour depth it is stored with.
struct ButtonBitmap {
    QString name;
    QImage image;
    int bitsPerPixel;
};

// The button bitmaps of the five built-in styles, at their fixed sizes and with
// their fixed corner colours.
std::vector<ButtonBitmap> MakeButtonBitmaps();
