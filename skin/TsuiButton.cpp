#include "skin/TsuiButton.h"

#include "GlyphDrawing.h"
#include "SkinFrameStretch.h"
#include "StyleSource.h"
#include "skin/StyleTable.h"
#include "skin/TsuiFileTheme.h"

#include <QAction>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>

namespace {

constexpr int kInitialWidth = 80;
constexpr int kInitialHeight = 27;

} // namespace

TsuiButton::TsuiButton(QWidget* parent) : TsuiCustomButton(parent) {
    resize(kInitialWidth, kInitialHeight);
    // The base constructor could not reach this class's ApplyStyle.
    SetUIStyle(UIStyle());
}

void TsuiButton::SetGlyph(const QImage& glyph) {
    glyph_ = glyph;
    update();
}

void TsuiButton::SetLayout(TButtonLayout layout) {
    layout_ = layout;
    update();
}

void TsuiButton::SetSpacing(int spacing) {
    spacing_ = spacing;
    update();
}

void TsuiButton::ApplyStyle() {
    const ThemeSource source = ResolveThemeSource(FileTheme(), UIStyle());
    SetTransparent(source.useFileTheme ? FileTheme()->GetBool(kButtonTransparentElement)
                                       : StyleBool(source.style, kButtonTransparentElement));
}

void TsuiButton::DrawFace(QImage& canvas, const QImage& frame) {
    StretchSkinFrame(canvas, frame, MaskedFrame());
    if (glyph_.isNull()) {
        return;
    }

    const QFontMetrics metrics(CaptionFont());
    const int tw = Caption().isEmpty()
                       ? 0
                       : metrics.size(Qt::TextSingleLine | Qt::TextShowMnemonic, Caption()).width();
    const int th = metrics.height();
    const int gh = glyph_.height();
    const bool twoImages = glyph_.width() == 2 * gh;
    const int gw = twoImages ? gh : glyph_.width();
    const int w = width();
    const int h = height();
    const int s = spacing_;

    QPoint glyphAt;
    switch (layout_) {
    case TButtonLayout::blGlyphLeft:
        glyphAt = QPoint((w - gw - tw - s) / 2, (h - gh) / 2);
        captionOrigin_ = QPoint(glyphAt.x() + gw + s, (h - th) / 2);
        break;
    case TButtonLayout::blGlyphRight:
        glyphAt = QPoint((w + tw + s - gw) / 2, (h - gh) / 2);
        captionOrigin_ = QPoint(glyphAt.x() - tw - s, (h - th) / 2);
        break;
    case TButtonLayout::blGlyphTop:
        glyphAt = QPoint((w - gw) / 2, (h - th - gh - s) / 2);
        captionOrigin_ = QPoint((w - tw) / 2, glyphAt.y() + gh + s);
        break;
    case TButtonLayout::blGlyphBottom:
        glyphAt = QPoint((w - gw) / 2, (h + th + s - gh) / 2);
        captionOrigin_ = QPoint((w - tw) / 2, glyphAt.y() - th - s);
        break;
    }
    if (Pressed()) {
        glyphAt += QPoint(1, 1);
    }

    const QRgb key = glyph_.pixel(0, 0);
    QPainter painter(&canvas);
    if (twoImages) {
        const QImage picture = glyph_.copy(isEnabled() ? 0 : gw, 0, gw, gh);
        DrawGlyphImage(painter, glyphAt, picture, key, false);
    } else {
        DrawGlyphImage(painter, glyphAt, glyph_, key, !isEnabled());
    }
}

void TsuiButton::DrawCaption(QImage& canvas, const QString& text) {
    if (glyph_.isNull()) {
        TsuiCustomButton::DrawCaption(canvas, text);
        return;
    }
    QPainter painter(&canvas);
    painter.setFont(CaptionFont());
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic;
    auto drawAt = [&](QPoint origin, const QColor& colour) {
        painter.setPen(colour);
        painter.drawText(QRect(origin, QPoint(width() - 1, height() - 1)), flags, text);
    };
    if (!isEnabled()) {
        drawAt(captionOrigin_ + QPoint(1, 1), Qt::white);
        drawAt(captionOrigin_, QColor(128, 128, 128));
    } else {
        if (Pressed()) {
            captionOrigin_ += QPoint(1, 1);
        }
        drawAt(captionOrigin_, palette().color(foregroundRole()));
    }
}

void TsuiButton::DrawFocusCue(QImage& canvas) {
    // These two styles show the focus by a bold caption, and only on a button
    // without glyph, since the caption beside a glyph is never drawn bold.
    if (UIStyle() == TsuiUIStyle::MacOS || UIStyle() == TsuiUIStyle::BlueGlass) {
        SetBoldCaptionOnce();
        return;
    }
    TsuiCustomButton::DrawFocusCue(canvas);
}

void TsuiButton::ActionChanged() {
    TsuiCustomButton::ActionChanged();
    if (Action() == nullptr || !glyph_.isNull() || Action()->icon().isNull()) {
        return;
    }
    const QList<QSize> sizes = Action()->icon().availableSizes();
    const QSize size = sizes.isEmpty() ? QSize(16, 16) : sizes.last();
    SetGlyph(Action()->icon().pixmap(size).toImage());
}
