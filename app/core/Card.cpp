#include "app/core/Card.h"

#include <QFont>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>

#include "codepage/Win1252.h"

namespace card {

QFont MemoFont() {
    // Liberation Mono has the same advance per character as the design face.
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
    QFont f{QStringLiteral("Courier New")};
    f.setPixelSize(11);
    f.setBold(true);
    f.setStyleHint(QFont::TypeWriter);
    // Whole-pixel advances (7 pixels a character at this size), as the system that the job
    // texts are written for draws the face: the memo then breaks lines where it did.
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

std::vector<std::string> WrapLines(const QString& text) {
    // The document splits the text into blocks exactly as the memo's own document does.
    QTextDocument doc;
    doc.setPlainText(text);
    const QFont font = MemoFont();
    QTextOption option = doc.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    std::vector<std::string> lines;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QString blockText = block.text();
        if (blockText.isEmpty()) {
            lines.emplace_back();
            continue;
        }
        QTextLayout layout(blockText, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
            line.setLineWidth(kMemoTextWidth);
        layout.endLayout();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            lines.push_back(
                win1252::FromUnicode(blockText.mid(line.textStart(), line.textLength())));
        }
    }
    // A text that ends with a line break has no further line; an empty text has none.
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

Card MakeCard(const std::optional<QString>& title, const QString& text) {
    return Card{title, WrapLines(text)};
}

} // namespace card
