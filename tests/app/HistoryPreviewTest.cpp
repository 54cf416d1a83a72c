#include "HistoryPreview.h"

#include <gtest/gtest.h>

TEST(HistoryPreview, TrimmedAndCut) {
    const QString eighty = QStringLiteral("   \r\n") + QString(80, QLatin1Char('x'));
    EXPECT_EQ(HistoryPreview(eighty), QString(50, QLatin1Char('x')));
    // Line breaks inside the first 50 characters stay.
    EXPECT_EQ(HistoryPreview(QStringLiteral("\tA\r\nB \r\n")), QStringLiteral("A\r\nB"));
    EXPECT_EQ(HistoryPreview(QStringLiteral(" \x01\x1F ")), QString());
    EXPECT_EQ(HistoryPreview(QString()), QString());
    EXPECT_EQ(HistoryPreview(QStringLiteral("Açúcar")), QStringLiteral("Açúcar"));
}
