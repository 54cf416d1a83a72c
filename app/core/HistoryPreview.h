#pragma once

#include <QString>

// The history preview (`previsao`) of a job text, what the history list shows of it: leading
// and trailing characters up to U+0020 removed, then cut to 50 characters.
QString HistoryPreview(const QString& text);
