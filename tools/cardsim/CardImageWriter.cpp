#include "CardImageWriter.h"

#include "CardText.h"

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace cardsim {

namespace {

constexpr int kMargin = 24;
constexpr int kFontPixels = 16;
constexpr double kCardAspect = 85.6 / 54.0; // a payment-card sized card
// A picture stays a picture of a card even when a job sends thousands of lines or
// one endless line: the rest is cut off and the cut is marked.
constexpr std::size_t kMaxLines = 120;
constexpr int kMaxColumns = 160;

} // namespace

// Text drawing needs a GUI application object; the simulator has no window, so the
// off-screen platform is used.
struct CardImageWriter::Drawing {
    Drawing() {
        if (QGuiApplication::instance() == nullptr) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            application = std::make_unique<QGuiApplication>(argc, argv);
        }
    }

    int argc = 1;
    char name[16] = "plinova-cardsim";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QGuiApplication> application;
};

CardImageWriter::CardImageWriter(std::string folder)
    : folder_(std::move(folder)), drawing_(std::make_unique<Drawing>()) {
    if (!QDir().mkpath(QString::fromStdString(folder_))) {
        throw std::runtime_error("cannot create the picture folder " + folder_);
    }
}

CardImageWriter::~CardImageWriter() = default;

std::string CardImageWriter::Write(const Card& card) {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setBold(true);
    font.setPixelSize(kFontPixels);
    const QFontMetrics metrics(font);
    const int cell = metrics.horizontalAdvance(QLatin1Char('M'));
    const int lineHeight = metrics.height();

    const std::size_t shown = std::min(card.lines.size(), kMaxLines);
    const bool cut = shown < card.lines.size();
    int columns = static_cast<int>(kCardColumns);
    int textHeight = cut ? lineHeight : 0;
    for (std::size_t i = 0; i < shown; ++i) {
        const PrintedLine& line = card.lines[i];
        const int length = static_cast<int>(QString::fromStdString(line.text).size());
        columns = std::clamp(length * (line.DoubleWidth() ? 2 : 1), columns, kMaxColumns);
        textHeight += lineHeight * (line.DoubleHeight() ? 2 : 1);
    }
    const int width = columns * cell + 2 * kMargin;
    const int height = std::max(static_cast<int>(width / kCardAspect), textHeight + 2 * kMargin);

    QImage image(width + 2, height + 2, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(1, 1, width, height), 14, 14);
    painter.fillPath(outline, QColor(0xfb, 0xfa, 0xf4));
    painter.setPen(QPen(QColor(0xb0, 0xb0, 0xa8), 1.5));
    painter.drawPath(outline);

    painter.setFont(font);
    painter.setPen(QColor(0x1c, 0x1c, 0x28));
    painter.setClipRect(QRect(kMargin, 0, columns * cell + 1, height));
    int y = kMargin;
    for (std::size_t i = 0; i < shown; ++i) {
        const PrintedLine& line = card.lines[i];
        const int scaleX = line.DoubleWidth() ? 2 : 1;
        const int scaleY = line.DoubleHeight() ? 2 : 1;
        painter.save();
        painter.translate(kMargin + 1, y + 1);
        painter.scale(scaleX, scaleY);
        painter.drawText(0, metrics.ascent(), QString::fromStdString(line.text));
        painter.restore();
        y += lineHeight * scaleY;
    }
    if (cut) {
        painter.setPen(QColor(0x90, 0x90, 0x90));
        painter.drawText(kMargin + 1, y + 1 + metrics.ascent(),
                         QStringLiteral("... %1 more lines").arg(card.lines.size() - shown));
    }
    painter.end();

    char name[32];
    std::snprintf(name, sizeof name, "card-%04d.png", card.number);
    const std::string path = folder_ + "/" + name;
    if (!image.save(QString::fromStdString(path), "PNG")) {
        throw std::runtime_error("cannot write the card picture " + path);
    }
    return path;
}

} // namespace cardsim
