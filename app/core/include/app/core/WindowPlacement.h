#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

namespace placement {

// Where a window of `size` goes when it was saved at `saved`: unchanged when it lies wholly
// on one of the screens; otherwise moved onto the nearest screen (the one holding the
// window's centre, or closest to it) by the least that puts it wholly there, so a coordinate
// already in range is kept. A window larger than that screen goes to its top or left edge.
// No screens: unchanged. Any saved coordinates are accepted, however far off.
QPoint OnAScreen(QPoint saved, QSize size, const std::vector<QRect>& screens);

} // namespace placement
