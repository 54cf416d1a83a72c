#include "BmpWriter.h"

#include <QFile>
#include <QHash>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(value & 0xFF);
    out.push_back(value >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back((value >> shift) & 0xFF);
    }
}

} // namespace

void WriteBmp(const QString& path, const QImage& source, int bitsPerPixel) {
    if (bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24) {
        throw std::runtime_error("Unsupported bitmap depth " + std::to_string(bitsPerPixel));
    }
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width();
    const int height = image.height();

    // Palette in order of first appearance, so the output is the same on every run.
    std::vector<QRgb> palette;
    QHash<QRgb, int> indexOf;
    if (bitsPerPixel != 24) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const QRgb colour = image.pixel(x, y) & RGB_MASK;
                if (!indexOf.contains(colour)) {
                    indexOf.insert(colour, static_cast<int>(palette.size()));
                    palette.push_back(colour);
                }
            }
        }
        if (palette.size() > (1u << bitsPerPixel)) {
            throw std::runtime_error(path.toStdString() + ": " + std::to_string(palette.size()) +
                                     " colours do not fit " + std::to_string(bitsPerPixel) +
                                     " bits");
        }
    }

    const std::uint32_t paletteEntries = bitsPerPixel == 24 ? 0 : (1u << bitsPerPixel);
    const std::uint32_t rowBytes = ((width * bitsPerPixel + 31) / 32) * 4;
    const std::uint32_t pixelOffset = 14 + 40 + paletteEntries * 4;
    const std::uint32_t fileSize = pixelOffset + rowBytes * height;

    std::vector<std::uint8_t> out;
    out.reserve(fileSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, fileSize);
    Put32(out, 0);
    Put32(out, pixelOffset);
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height)); // positive: rows stored bottom-up
    Put16(out, 1);
    Put16(out, static_cast<std::uint16_t>(bitsPerPixel));
    Put32(out, 0); // no compression
    Put32(out, rowBytes * height);
    Put32(out, 2835); // 72 dots per inch
    Put32(out, 2835);
    Put32(out, paletteEntries);
    Put32(out, 0);
    for (std::uint32_t i = 0; i < paletteEntries; ++i) {
        const QRgb colour = i < palette.size() ? palette[i] : 0;
        out.push_back(qBlue(colour));
        out.push_back(qGreen(colour));
        out.push_back(qRed(colour));
        out.push_back(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (int x = 0; x < width; ++x) {
            const QRgb colour = image.pixel(x, y) & RGB_MASK;
            if (bitsPerPixel == 24) {
                row[x * 3] = qBlue(colour);
                row[x * 3 + 1] = qGreen(colour);
                row[x * 3 + 2] = qRed(colour);
            } else if (bitsPerPixel == 8) {
                row[x] = static_cast<std::uint8_t>(indexOf.value(colour));
            } else {
                const auto index = static_cast<std::uint8_t>(indexOf.value(colour));
                row[x / 2] |= (x % 2 == 0) ? (index << 4) : index;
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(out.data()), static_cast<qint64>(out.size())) !=
            static_cast<qint64>(out.size())) {
        throw std::runtime_error("Cannot write " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    }
}
