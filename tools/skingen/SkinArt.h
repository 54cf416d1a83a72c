#pragma once

#include <QImage>
#include <QString>

#include <vector>

// A skin bitmap other than a button: the pictures of checkboxes, title bars, scroll
// bars, tabs and the like, drawn in each style's colours.
struct SkinBitmap {
    QString name;
    QImage image;
};

// Every non-button bitmap the style table names, plus the extra pictures that
// skinned forms and menus load by name.
std::vector<SkinBitmap> MakeSkinBitmaps();
