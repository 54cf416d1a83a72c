#include "app/core/WindowPlacement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace placement {

namespace {

// Edges as half-open ranges in a wide type: a saved coordinate near the integer limits plus
// the window's size must not overflow.
struct Span {
    std::int64_t begin;
    std::int64_t end;
};

bool Inside(Span inner, Span outer) {
    return inner.begin >= outer.begin && inner.end <= outer.end;
}

std::int64_t Gap(std::int64_t v, Span s) {
    return v < s.begin ? s.begin - v : (v >= s.end ? v - (s.end - 1) : 0);
}

// The start of a span of `length` inside `outer` nearest to `start`; its beginning when
// the span does not fit.
std::int64_t Fit(std::int64_t start, std::int64_t length, Span outer) {
    return std::max(outer.begin, std::min(start, outer.end - length));
}

Span Horizontal(const QRect& r) {
    return {r.x(), static_cast<std::int64_t>(r.x()) + r.width()};
}

Span Vertical(const QRect& r) {
    return {r.y(), static_cast<std::int64_t>(r.y()) + r.height()};
}

} // namespace

QPoint OnAScreen(QPoint saved, QSize size, const std::vector<QRect>& screens) {
    const Span x{saved.x(), static_cast<std::int64_t>(saved.x()) + size.width()};
    const Span y{saved.y(), static_cast<std::int64_t>(saved.y()) + size.height()};
    for (const QRect& screen : screens)
        if (Inside(x, Horizontal(screen)) && Inside(y, Vertical(screen)))
            return saved;

    const std::int64_t cx = x.begin + size.width() / 2;
    const std::int64_t cy = y.begin + size.height() / 2;
    const QRect* nearest = nullptr;
    // In floating point: the squares of gaps across the whole integer range overflow 64 bits.
    double best = std::numeric_limits<double>::infinity();
    for (const QRect& screen : screens) {
        const double dx = static_cast<double>(Gap(cx, Horizontal(screen)));
        const double dy = static_cast<double>(Gap(cy, Vertical(screen)));
        if (dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            nearest = &screen;
        }
    }
    if (!nearest)
        return saved;
    return QPoint(static_cast<int>(Fit(x.begin, size.width(), Horizontal(*nearest))),
                  static_cast<int>(Fit(y.begin, size.height(), Vertical(*nearest))));
}

} // namespace placement
