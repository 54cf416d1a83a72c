#include "app/_main.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "codepage/Win1252.h"

std::vector<std::string> Tmain::DisplayLines() const {
    std::vector<std::string> lines;
    const QTextDocument* doc = texto->document();
    // The memo wraps at its text area's width, word by word, as it shows the text. The area
    // is the memo less its frame (it has no scroll bars): its viewport has that size only
    // once the memo was first shown, and a print may come before that.
    const qreal width = texto->contentsRect().width() - 2 * doc->documentMargin();
    QTextOption option = doc->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        QTextLayout layout(text, texto->font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
            line.setLineWidth(width);
        layout.endLayout();
        if (layout.lineCount() == 0 || text.isEmpty()) {
            lines.emplace_back();
            continue;
        }
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            lines.push_back(win1252::FromUnicode(text.mid(line.textStart(), line.textLength())));
        }
    }
    // A text that ends with a line break has no further line; an empty memo has none.
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}
