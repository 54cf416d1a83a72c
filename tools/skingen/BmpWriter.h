#pragma once

#include <QImage>
#include <QString>

// Writes `image` as an uncompressed BMP file with exactly `bitsPerPixel`
// (4 or 8 with a palette of the image's colours, or 24). Throws std::runtime_error
// when the image has more colours than the depth holds or the file cannot be written.
void WriteBmp(const QString& path, const QImage& image, int bitsPerPixel);
