#include "WindowPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <functional>

namespace {

// Background of the flat buttons on the silver window bar.
constexpr QRgb kSilver = qRgb(192, 192, 192);
// Background of the pictures on glass buttons: close to the glass face, so the
// smoothed outlines blend into it.
constexpr QRgb kGlassFace = qRgb(120, 170, 230);

const QColor kBlue(20, 90, 200);
const QColor kDarkBlue(10, 45, 120);

// Draws with smoothing onto a transparent picture, then lays it over `background`.
// A drawn pixel that comes out exactly the background colour is nudged by one step
// so that only the untouched background is see-through.
QImage Compose(int size, QRgb background, const std::function<void(QPainter&)>& draw) {
    QImage art(size, size, QImage::Format_ARGB32);
    art.fill(Qt::transparent);
    {
        QPainter painter(&art);
        painter.setRenderHint(QPainter::Antialiasing, true);
        draw(painter);
    }
    QImage picture(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb over = art.pixel(x, y);
            const int alpha = qAlpha(over);
            if (alpha == 0) {
                picture.setPixel(x, y, background);
                continue;
            }
            auto blend = [alpha](int top, int bottom) {
                return (top * alpha + bottom * (255 - alpha)) / 255;
            };
            QRgb colour =
                qRgb(blend(qRed(over), qRed(background)), blend(qGreen(over), qGreen(background)),
                     blend(qBlue(over), qBlue(background)));
            if (colour == background) {
                colour = qRgb(qRed(colour), qGreen(colour), qBlue(colour) ^ 1);
            }
            picture.setPixel(x, y, colour);
        }
    }
    return picture;
}

// A block arrow pointing up inside the box (x, y, w, h); other directions rotate it.
QPainterPath UpArrow(double x, double y, double w, double h) {
    QPainterPath path;
    path.moveTo(x + w / 2, y);
    path.lineTo(x + w, y + h * 0.5);
    path.lineTo(x + w * 0.68, y + h * 0.5);
    path.lineTo(x + w * 0.68, y + h);
    path.lineTo(x + w * 0.32, y + h);
    path.lineTo(x + w * 0.32, y + h * 0.5);
    path.lineTo(x, y + h * 0.5);
    path.closeSubpath();
    return path;
}

QPainterPath Turned(const QPainterPath& path, double degrees, double size) {
    QTransform turn;
    turn.translate(size / 2, size / 2);
    turn.rotate(degrees);
    turn.translate(-size / 2, -size / 2);
    return turn.map(path);
}

void BlueArrow(QPainter& painter, int size, double degrees) {
    const double margin = size * 0.12;
    const QPainterPath arrow =
        Turned(UpArrow(margin, margin, size - 2 * margin, size - 2 * margin), degrees, size);
    QLinearGradient fill(0, 0, size, size);
    fill.setColorAt(0, kBlue.lighter(150));
    fill.setColorAt(1, kBlue);
    painter.setPen(QPen(kDarkBlue, 1));
    painter.setBrush(fill);
    painter.drawPath(arrow);
}

void RoundButtonWithArrow(QPainter& painter, int size, double degrees) {
    QRadialGradient ball(size * 0.4, size * 0.3, size * 0.7);
    ball.setColorAt(0, QColor(150, 200, 255));
    ball.setColorAt(0.6, kBlue);
    ball.setColorAt(1, kDarkBlue);
    painter.setPen(QPen(kDarkBlue, 1));
    painter.setBrush(ball);
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    const double inset = size * 0.27;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(
        Turned(UpArrow(inset, inset, size - 2 * inset, size - 2 * inset), degrees, size));
}

void RedSquareWithCross(QPainter& painter, int size) {
    QLinearGradient red(0, 0, 0, size);
    red.setColorAt(0, QColor(235, 80, 60));
    red.setColorAt(1, QColor(170, 20, 10));
    painter.setPen(QPen(QColor(110, 10, 5), 1));
    painter.setBrush(red);
    painter.drawRoundedRect(QRectF(1.5, 1.5, size - 3, size - 3), 3, 3);
    painter.setPen(QPen(Qt::white, size * 0.14, Qt::SolidLine, Qt::RoundCap));
    const double inset = size * 0.3;
    painter.drawLine(QPointF(inset, inset), QPointF(size - inset, size - inset));
    painter.drawLine(QPointF(size - inset, inset), QPointF(inset, size - inset));
}

void Printer(QPainter& painter, int size) {
    const double s = size / 48.0;
    painter.setPen(QPen(QColor(60, 60, 70), std::max(1.0, s)));
    // Sheet waiting at the back.
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(13 * s, 4 * s, 22 * s, 16 * s));
    // Body.
    QLinearGradient body(0, 16 * s, 0, 38 * s);
    body.setColorAt(0, QColor(215, 215, 222));
    body.setColorAt(1, QColor(120, 120, 132));
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(4 * s, 17 * s, 40 * s, 19 * s), 3 * s, 3 * s);
    // Paper slot and the printed sheet coming out.
    painter.setBrush(QColor(40, 40, 48));
    painter.drawRect(QRectF(11 * s, 29 * s, 26 * s, 3 * s));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(13 * s, 31 * s, 22 * s, 13 * s));
    painter.setPen(QPen(QColor(70, 110, 190), 1.2 * s));
    for (int line = 0; line < 3; ++line) {
        const double y = (35 + line * 3) * s;
        painter.drawLine(QPointF(16 * s, y), QPointF((line == 2 ? 26 : 32) * s, y));
    }
    // Power light.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 200, 60));
    painter.drawEllipse(QRectF(37 * s, 21 * s, 3.5 * s, 3.5 * s));
}

void TurningArrows(QPainter& painter, int size) {
    const QRectF ring(size * 0.18, size * 0.18, size * 0.64, size * 0.64);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kBlue, size * 0.13, Qt::SolidLine, Qt::FlatCap));
    // Two arcs, each ending in an arrow head, chasing each other round the circle.
    for (int half = 0; half < 2; ++half) {
        const int start = 20 + half * 180;
        painter.setPen(QPen(kBlue, size * 0.13, Qt::SolidLine, Qt::FlatCap));
        painter.drawArc(ring, start * 16, 130 * 16);
        const double end = (start + 130) * 3.14159265 / 180;
        const QPointF tip(size / 2 + std::cos(end) * ring.width() / 2,
                          size / 2 - std::sin(end) * ring.height() / 2);
        const QPointF along(-std::sin(end), -std::cos(end)); // direction of travel
        const QPointF outward(std::cos(end), -std::sin(end));
        const double head = size * 0.2;
        QPainterPath arrowHead;
        arrowHead.moveTo(tip + along * head);
        arrowHead.lineTo(tip + outward * head * 0.7);
        arrowHead.lineTo(tip - outward * head * 0.7);
        arrowHead.closeSubpath();
        painter.setPen(Qt::NoPen);
        painter.setBrush(kBlue);
        painter.drawPath(arrowHead);
    }
}

} // namespace

std::vector<WindowPicture> MakeWindowPictures() {
    return {
        {QStringLiteral("btopen.bmp"),
         Compose(19, kSilver, [](QPainter& p) { BlueArrow(p, 19, 180); })},
        {QStringLiteral("btclose.bmp"),
         Compose(21, kSilver, [](QPainter& p) { RedSquareWithCross(p, 21); })},
        {QStringLiteral("btfechar.bmp"),
         Compose(32, kGlassFace, [](QPainter& p) { BlueArrow(p, 32, 0); })},
        {QStringLiteral("btup.bmp"),
         Compose(32, kGlassFace, [](QPainter& p) { RoundButtonWithArrow(p, 32, 0); })},
        {QStringLiteral("btdown.bmp"),
         Compose(32, kGlassFace, [](QPainter& p) { RoundButtonWithArrow(p, 32, 180); })},
        {QStringLiteral("btprint.bmp"),
         Compose(48, kGlassFace, [](QPainter& p) { Printer(p, 48); })},
        {QStringLiteral("btmod.bmp"),
         Compose(24, kGlassFace, [](QPainter& p) { TurningArrows(p, 24); })},
    };
}

QImage MakeProgramIcon(int size) {
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing, true);
    Printer(painter, size);
    return icon;
}
