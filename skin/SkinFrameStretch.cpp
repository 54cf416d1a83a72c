#include "SkinFrameStretch.h"

#include "SkinImageOps.h"

#include <QPainter>

#include <algorithm>

namespace {

enum class Corner { TopLeft, BottomLeft, TopRight, BottomRight };

// Which side of a source band survives when the band is cut to a smaller piece.
enum class KeepSide { Left, Right, Top, Bottom, Whole };

bool IsRight(Corner corner) {
    return corner == Corner::TopRight || corner == Corner::BottomRight;
}
bool IsBottom(Corner corner) {
    return corner == Corner::BottomLeft || corner == Corner::BottomRight;
}

// Draws one corner unscaled: the piece is no larger than the source or the limit,
// sits against the canvas edges the corner belongs to, and keeps the outer side of
// the source. Returns the rectangle drawn into (empty but placed when skipped).
PixelBox DrawCorner(QPainter& painter, const QImage& frame, Corner corner, PixelBox source,
                    PixelBox limit, bool masked) {
    const int width = std::max(0, std::min(source.Width(), limit.Width()));
    const int height = std::max(0, std::min(source.Height(), limit.Height()));
    PixelBox placed;
    placed.left = IsRight(corner) ? limit.right - width : limit.left;
    placed.right = placed.left + width;
    placed.top = IsBottom(corner) ? limit.bottom - height : limit.top;
    placed.bottom = placed.top + height;
    if (width == 0 || height == 0) {
        return placed;
    }
    PixelBox cut;
    cut.left = IsRight(corner) ? source.right - width : source.left;
    cut.right = cut.left + width;
    cut.top = IsBottom(corner) ? source.bottom - height : source.top;
    cut.bottom = cut.top + height;
    const QImage piece = CopyBox(frame, cut);
    if (!piece.isNull()) {
        painter.drawImage(placed.left, placed.top,
                          masked ? KeyedOut(piece, kSkinKeyColor) : Opaque(piece));
    }
    return placed;
}

// Draws an edge or the centre: the source band, cut to the target's size on the
// side that faces the frame's outside, scaled onto the target with magenta
// see-through.
void DrawStretched(QPainter& painter, const QImage& frame, PixelBox source, PixelBox target,
                   KeepSide keep) {
    if (target.Empty()) {
        return;
    }
    switch (keep) {
    case KeepSide::Left:
        source.right = std::min(source.right, source.left + target.Width());
        break;
    case KeepSide::Right:
        source.left = std::max(source.left, source.right - target.Width());
        break;
    case KeepSide::Top:
        source.bottom = std::min(source.bottom, source.top + target.Height());
        break;
    case KeepSide::Bottom:
        source.top = std::max(source.top, source.bottom - target.Height());
        break;
    case KeepSide::Whole:
        break;
    }
    const QImage band = CopyBox(frame, source);
    if (band.isNull()) {
        return;
    }
    painter.drawImage(target.left, target.top,
                      KeyedOut(ScaleNearest(band, target.Width(), target.Height()), kSkinKeyColor));
}

} // namespace

void StretchSkinFrame(QImage& canvas, const QImage& frame, bool maskedFrame) {
    if (frame.isNull() || canvas.isNull()) {
        return;
    }
    const int ws = frame.width();
    const int hs = frame.height();
    const int w = canvas.width();
    const int h = canvas.height();
    const int a = ws / 2;
    const int b = hs / 2;
    const int w2 = w / 2;
    const int h2 = h / 2;

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);

    const PixelBox tl =
        DrawCorner(painter, frame, Corner::TopLeft, {0, 0, a, b}, {0, 0, w2, h2}, maskedFrame);
    const PixelBox bl = DrawCorner(painter, frame, Corner::BottomLeft, {0, hs - b + 1, a, hs},
                                   {0, h - h2 + 1, w2, h}, maskedFrame);
    DrawStretched(painter, frame, {0, b, a, hs - b}, {0, tl.bottom, tl.right, bl.top},
                  KeepSide::Left);
    const PixelBox tr = DrawCorner(painter, frame, Corner::TopRight, {ws - a + 1, 0, ws, b},
                                   {w - w2 + 1, 0, w, h2}, maskedFrame);
    const PixelBox br =
        DrawCorner(painter, frame, Corner::BottomRight, {ws - a + 1, hs - b + 1, ws, hs},
                   {w - w2 + 1, h - h2 + 1, w, h}, maskedFrame);
    DrawStretched(painter, frame, {ws - a + 1, hs - b, ws, b + 2},
                  {tr.left, tr.bottom, tr.right, br.top}, KeepSide::Right);
    DrawStretched(painter, frame, {a, 0, ws - a + 1, b}, {tl.right, 0, tr.left, tl.bottom},
                  KeepSide::Top);
    DrawStretched(painter, frame, {a, b, ws - a + 1, hs - b},
                  {tl.right, tl.bottom, tr.left, br.top - 1}, KeepSide::Whole);
    DrawStretched(painter, frame, {a, hs - b, ws - a + 1, hs},
                  {tl.right - 1, bl.top - 1, br.left, br.bottom}, KeepSide::Bottom);
}
