#include "codepage/Win1252.h"

#include <gtest/gtest.h>

TEST(Win1252, RoundTripAndReplacement) {
    const QString text = QStringLiteral("Ação € – “x” ÿ");
    const std::string bytes = win1252::FromUnicode(text);
    EXPECT_EQ(bytes, "A\xe7\xe3o \x80 \x96 \x93x\x94 \xff");
    EXPECT_EQ(win1252::ToUnicode(bytes), text);
    // Characters outside the code page become "?", one per character.
    EXPECT_EQ(win1252::FromUnicode(QStringLiteral("日本 😀")), "?? ?");
    const std::string zero("a\0b", 3);
    EXPECT_EQ(win1252::FromUnicode(win1252::ToUnicode(zero)), zero);
}
