#include "SkinImageOps.h"

#include <algorithm>

QImage CopyBox(const QImage& source, PixelBox box) {
    box.left = std::max(box.left, 0);
    box.top = std::max(box.top, 0);
    box.right = std::min(box.right, source.width());
    box.bottom = std::min(box.bottom, source.height());
    if (box.Empty()) {
        return {};
    }
    return source.copy(box.left, box.top, box.Width(), box.Height());
}

QImage ScaleNearest(const QImage& source, int width, int height) {
    if (source.isNull() || width <= 0 || height <= 0) {
        return {};
    }
    const QImage from = source.convertToFormat(QImage::Format_ARGB32);
    if (from.width() == width && from.height() == height) {
        return from;
    }
    QImage to(width, height, QImage::Format_ARGB32);
    const long long sw = from.width();
    const long long sh = from.height();
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(from.constScanLine(int(y * sh / height)));
        auto* out = reinterpret_cast<QRgb*>(to.scanLine(y));
        for (int x = 0; x < width; ++x) {
            out[x] = in[x * sw / width];
        }
    }
    return to;
}

QImage KeyedOut(const QImage& source, QRgb key) {
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == key) {
                line[x] = 0;
            }
        }
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage Opaque(const QImage& source) {
    return source.convertToFormat(QImage::Format_RGB32)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
