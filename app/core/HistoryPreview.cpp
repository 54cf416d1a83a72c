#include "HistoryPreview.h"

QString HistoryPreview(const QString& text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && text.at(e - 1).unicode() <= 0x20)
        --e;
    return text.mid(b, qMin<qsizetype>(e - b, 50));
}
