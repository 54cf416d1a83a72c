#include "app/UiFonts.h"

namespace {

const char* const kUiFamily = "Tahoma";
const char* const kMemoFamily = "Courier New";
constexpr int kPixelSize = 11;

} // namespace

void InstallFontSubstitutes() {
    // Liberation Sans at 11 pixels fits "Cartão" and "Estado:" into their 33 and 37 pixel
    // labels as the design face does; Liberation Mono has the same advance as Courier New.
    QFont::insertSubstitution(QLatin1String(kUiFamily), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QLatin1String(kMemoFamily), QStringLiteral("Liberation Mono"));
}

QFont UiFont(bool bold) {
    QFont f{QString::fromLatin1(kUiFamily)};
    f.setPixelSize(kPixelSize);
    f.setBold(bold);
    return f;
}

QFont MemoFont() {
    QFont f{QString::fromLatin1(kMemoFamily)};
    f.setPixelSize(kPixelSize);
    f.setBold(true);
    f.setStyleHint(QFont::TypeWriter);
    // Whole-pixel advances (7 pixels a character at this size), as the system that the job
    // texts are written for draws the face: the memo then breaks lines where it did.
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}
