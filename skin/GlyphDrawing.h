#pragma once

#include <QImage>
#include <QPoint>
#include <QRgb>

#include <optional>

class QPainter;

// Draws `image` at `at` with every pixel equal to `key` see-through (opaque when
// there is no key). With
// `disabledLook` the picture's dark parts are drawn embossed instead: white one pixel
// right and down, then grey (128, 128, 128) on top, the classic greyed-out glyph.
void DrawGlyphImage(QPainter& painter, QPoint at, const QImage& image, std::optional<QRgb> key,
                    bool disabledLook);
