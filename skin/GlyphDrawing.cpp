#include "GlyphDrawing.h"

#include "SkinImageOps.h"

#include <QPainter>

namespace {

// The darker half of the keyed picture filled with one colour: outlines and dark
// parts stay recognisable, light areas drop out.
QImage Silhouette(const QImage& keyed, QRgb colour) {
    QImage shape(keyed.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < keyed.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(keyed.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(shape.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            out[x] = qAlpha(in[x]) == 0 || qGray(in[x]) >= 128 ? 0 : colour;
        }
    }
    return shape;
}

} // namespace

void DrawGlyphImage(QPainter& painter, QPoint at, const QImage& image, std::optional<QRgb> key,
                    bool disabledLook) {
    if (image.isNull()) {
        return;
    }
    const QImage keyed = key ? KeyedOut(image, *key) : Opaque(image);
    if (!disabledLook) {
        painter.drawImage(at, keyed);
        return;
    }
    painter.drawImage(at + QPoint(1, 1), Silhouette(keyed, qRgb(255, 255, 255)));
    painter.drawImage(at, Silhouette(keyed, qRgb(128, 128, 128)));
}
