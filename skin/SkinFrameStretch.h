#pragma once

#include <QImage>

// Draws a skin frame over the whole of `canvas` so that its four corners keep their
// size while the edges and the centre stretch. Corners are copied unscaled (with
// magenta see-through when `maskedFrame`), edges and centre are scaled with magenta
// always see-through. `canvas` must be premultiplied ARGB.
void StretchSkinFrame(QImage& canvas, const QImage& frame, bool maskedFrame);
