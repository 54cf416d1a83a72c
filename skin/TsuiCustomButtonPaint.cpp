#include "skin/TsuiCustomButton.h"

#include "GlyphDrawing.h"
#include "StyleBitmap.h"
#include "StyleSource.h"
#include "skin/StyleTable.h"
#include "skin/TsuiFileTheme.h"

#include <QFontMetrics>
#include <QPainter>
#include <QSet>

#include <exception>

namespace {

// The frame painted when the style's bitmap cannot be had.
constexpr int kBlankFrameWidth = 74;
constexpr int kBlankFrameHeight = 21;
constexpr int kButtonFrameCount = 3;

QImage BlankFrame() {
    QImage frame(kBlankFrameWidth, kBlankFrameHeight, QImage::Format_RGB32);
    frame.fill(Qt::white);
    return frame;
}

// A missing bitmap only costs the look, so painting goes on with the blank frame;
// the developer still hears about each distinct failure once.
void ReportFrameFailure(const char* what) {
    static QSet<QString> reported;
    const QString message = QString::fromUtf8(what);
    if (!reported.contains(message)) {
        reported.insert(message);
        qWarning("Skinned button drawn blank: %s", what);
    }
}

// Inverts every other pixel along the outline of (left, top, right, bottom), right and
// bottom exclusive: the classic dotted focus rectangle.
void InvertDottedOutline(QImage& canvas, int left, int top, int right, int bottom) {
    auto flip = [&canvas](int x, int y) {
        if (x < 0 || y < 0 || x >= canvas.width() || y >= canvas.height() || (x + y) % 2 != 0) {
            return;
        }
        const QRgb pixel = qUnpremultiply(canvas.pixel(x, y));
        canvas.setPixel(x, y, qRgb(255 - qRed(pixel), 255 - qGreen(pixel), 255 - qBlue(pixel)));
    };
    if (right <= left || bottom <= top) {
        return;
    }
    for (int x = left; x < right; ++x) {
        flip(x, top);
        if (bottom - 1 != top) {
            flip(x, bottom - 1);
        }
    }
    for (int y = top + 1; y < bottom - 1; ++y) {
        flip(left, y);
        if (right - 1 != left) {
            flip(right - 1, y);
        }
    }
}

} // namespace

void TsuiCustomButton::RecomputeAutoSize() {
    if (!autoSize_) {
        return;
    }
    QImage bitmap;
    if (uiStyle_ != TsuiUIStyle::FromThemeFile) {
        try {
            LoadStyleBitmap(uiStyle_, kButtonImageElement, &bitmap, 0, 0);
        } catch (const std::exception& error) {
            ReportFrameFailure(error.what());
        }
    }
    const int height = bitmap.height() == 0 ? kBlankFrameHeight : bitmap.height();
    const int width = bitmap.width() == 0 ? kBlankFrameWidth : bitmap.width();
    resize(width / kButtonFrameCount, height);
}

QFont TsuiCustomButton::CaptionFont() const {
    QFont captionFont = font();
    captionFont.setStyleStrategy(QFont::NoAntialias);
    return captionFont;
}

void TsuiCustomButton::FetchStyleFrame(QImage& frame, int element, int frameIndex) {
    const ThemeSource source = ResolveThemeSource(fileTheme_, uiStyle_);
    if (source.useFileTheme) {
        frame = fileTheme_->GetBitmap(element, frameIndex, kButtonFrameCount);
    } else {
        LoadStyleBitmap(source.style, element, &frame, frameIndex, kButtonFrameCount);
    }
}

void TsuiCustomButton::FetchNormalFrame(QImage& frame) {
    FetchStyleFrame(frame, kButtonImageElement, 1);
}

void TsuiCustomButton::FetchHotFrame(QImage& frame) {
    FetchStyleFrame(frame, kButtonImageElement, 2);
}

void TsuiCustomButton::FetchPressedFrame(QImage& frame) {
    FetchStyleFrame(frame, kButtonImageElement, 3);
}

void TsuiCustomButton::FetchDisabledFrame(QImage& frame) {
    FetchStyleFrame(frame, kButtonImageElement, 1);
}

void TsuiCustomButton::FetchFrameForState(QImage& frame) {
    try {
        if (!isEnabled()) {
            FetchDisabledFrame(frame);
        } else if (pressed_) {
            FetchPressedFrame(frame);
        } else if (mouseInside_) {
            FetchHotFrame(frame);
        } else {
            FetchNormalFrame(frame);
        }
    } catch (const std::exception& error) {
        ReportFrameFailure(error.what());
        frame = BlankFrame();
    }
}

void TsuiCustomButton::DrawFace(QImage& canvas, const QImage& frame) {
    if (frame.isNull()) {
        return;
    }
    QPainter painter(&canvas);
    const std::optional<QRgb> key =
        maskedFrame_ ? std::optional<QRgb>(frame.pixel(0, 0)) : std::nullopt;
    DrawGlyphImage(painter, QPoint(0, 0), frame, key, !isEnabled());
}

void TsuiCustomButton::DrawCaption(QImage& canvas, const QString& text) {
    QPainter painter(&canvas);
    QFont captionFont = CaptionFont();
    if (boldCaptionOnce_) {
        captionFont.setBold(true);
    }
    painter.setFont(captionFont);
    const QFontMetrics metrics(captionFont);
    const QRect client = rect();

    // Measured word-wrapped in the given rectangle, then centred in it and drawn
    // without wrapping.
    auto drawCentred = [&](const QRect& area, const QColor& colour) {
        const int measureFlags = Qt::TextWordWrap | Qt::TextExpandTabs | Qt::TextShowMnemonic;
        QRect measured = metrics.boundingRect(area, measureFlags, text);
        measured.moveTopLeft(area.topLeft());
        measured.translate((area.width() - measured.width()) / 2,
                           (area.height() - measured.height()) / 2);
        painter.setPen(colour);
        painter.drawText(measured,
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextExpandTabs |
                             Qt::TextShowMnemonic | Qt::TextDontClip,
                         text);
    };

    QColor colour = palette().color(foregroundRole());
    if (!isEnabled()) {
        drawCentred(client.translated(1, 1), Qt::white);
        colour = QColor(128, 128, 128);
        drawCentred(client, colour);
    } else {
        drawCentred(pressed_ ? client.translated(1, 1) : client, colour);
    }
    boldCaptionOnce_ = false;
}

void TsuiCustomButton::DrawFocusCue(QImage& canvas) {
    const int margin = focusedRectMargin_;
    InvertDottedOutline(canvas, margin, margin, width() - margin, height() - margin);
}

void TsuiCustomButton::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0) {
        return;
    }
    QImage frame;
    FetchFrameForState(frame);

    // The face is composed off screen and shown in one step, never half drawn.
    QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
    if (transparent_) {
        // Left see-through: Qt has already painted the parent under this widget.
        canvas.fill(Qt::transparent);
    } else {
        canvas.fill(palette().color(backgroundRole()));
    }
    DrawFace(canvas, frame);
    if (hasFocus() && tabStop_) {
        DrawFocusCue(canvas);
    }
    if (!caption_.trimmed().isEmpty()) {
        DrawCaption(canvas, caption_);
    }
    QPainter painter(this);
    painter.drawImage(0, 0, canvas);
}
