#pragma once

#include <QImage>
#include <QRgb>

// A pixel rectangle with exclusive right and bottom edges, the way the skin
// geometry is worked out (QRect's inclusive edges invite off-by-one slips).
struct PixelBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return Width() <= 0 || Height() <= 0; }
    bool operator==(const PixelBox&) const = default;
};

// The colour skin bitmaps use for "see-through".
constexpr QRgb kSkinKeyColor = qRgb(255, 0, 255);

// Copy of `box` of `source`, cut to the source's bounds.
QImage CopyBox(const QImage& source, PixelBox box);

// Nearest-neighbour scaling: target column x takes source column x * sw / w, and the
// same for rows. No blending, so key colours stay exact.
QImage ScaleNearest(const QImage& source, int width, int height);

// The image as premultiplied ARGB with every pixel equal to `key` (alpha included,
// so pass an opaque qRgb for bitmaps) fully transparent.
QImage KeyedOut(const QImage& source, QRgb key);

// The image as premultiplied ARGB, every pixel opaque.
QImage Opaque(const QImage& source);
