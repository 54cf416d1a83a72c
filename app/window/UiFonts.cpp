#include "UiFonts.h"

#include "app/core/Card.h"

namespace {

const char* const kUiFamily = "Tahoma";
constexpr int kPixelSize = 11;

} // namespace

void InstallFontSubstitutes() {
    // Liberation Sans at 11 pixels fits "Cartão" and "Estado:" into their 33 and 37 pixel
    // labels as the design face does. The memo's face is the card's (card::MemoFont).
    QFont::insertSubstitution(QLatin1String(kUiFamily), QStringLiteral("Liberation Sans"));
}

QFont UiFont(bool bold) {
    QFont f{QString::fromLatin1(kUiFamily)};
    f.setPixelSize(kPixelSize);
    f.setBold(bold);
    return f;
}

QFont MemoFont() {
    return card::MemoFont();
}
