#pragma once

#include "skin/ButtonLayout.h"
#include "skin/TsuiCustomButton.h"

#include <QImage>
#include <QPoint>

// The skinned push button: the style's button frame stretched over the whole
// button (corners kept, edges and centre stretched), an optional glyph placed
// beside the caption, and a bold caption instead of the dotted focus rectangle in
// the MacOS and BlueGlass styles. A new button is 80 x 27 with 4 pixels between
// glyph and caption.
class TsuiButton : public TsuiCustomButton {
    Q_OBJECT

public:
    explicit TsuiButton(QWidget* parent = nullptr);

    // Picture beside the caption; empty for a caption-only button. A glyph twice as
    // wide as high holds two pictures side by side: enabled, then disabled. The
    // colour of its top-left pixel is see-through.
    const QImage& Glyph() const { return glyph_; }
    void SetGlyph(const QImage& glyph);

    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);

    // Pixels between glyph and caption (kept even when the caption is empty).
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);

    // Where the caption's top-left went in the last face drawn with a glyph.
    QPoint CaptionOrigin() const { return captionOrigin_; }

protected:
    void ApplyStyle() override;
    void DrawFace(QImage& canvas, const QImage& frame) override;
    void DrawCaption(QImage& canvas, const QString& text) override;
    void DrawFocusCue(QImage& canvas) override;
    void ActionChanged() override;

private:
    QImage glyph_;
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    int spacing_ = 4;
    QPoint captionOrigin_;
};
