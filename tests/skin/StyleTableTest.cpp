#include "skin/StyleTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr TsuiUIStyle kBuiltIn[] = {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue,
                                    TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass};

bool EndsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

TEST(StyleTable, EveryKindMatchesTheEndingOfItsKey) {
    for (int element = 1; element <= kThemeEntryCount; ++element) {
        const std::string key = ThemeEntryKey(element);
        ThemeEntryKind expected = ThemeEntryKind::Integer;
        if (EndsWith(key, "Image")) {
            expected = ThemeEntryKind::Image;
        } else if (EndsWith(key, "Color")) {
            expected = ThemeEntryKind::Color;
        } else if (EndsWith(key, "Bool")) {
            expected = ThemeEntryKind::Boolean;
        } else {
            ASSERT_TRUE(EndsWith(key, "Int")) << key;
        }
        EXPECT_EQ(ThemeEntryKindOf(element), expected) << key;
        for (TsuiUIStyle style : kBuiltIn) {
            EXPECT_EQ(StyleEntry(style, element).kind, expected) << key;
        }
    }
}

TEST(StyleTable, ImageNamesCarryTheStylePrefix) {
    EXPECT_EQ(StyleImageName(TsuiUIStyle::MacOS, 1), "MACOS_BUTTON");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::WinXP, 1), "WINXP_BUTTON");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::DeepBlue, 1), "DEEPBLUE_BUTTON");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::Protein, 1), "PROTEIN_BUTTON");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::BlueGlass, 1), "BLUEGLASS_BUTTON");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::BlueGlass, 41), "BLUEGLASS_SIDECHENNEL_HANDLE");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::Protein, 33), "PROTEIN_SCROLLBAR_TRACK");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::WinXP, 42), "WINXP_SIDECHENNEL_BAR");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::MacOS, 38), "MACOS_SCROLLBUTTON");
    EXPECT_EQ(StyleImageName(TsuiUIStyle::WinXP, 38), "WINXP_SCROLLBUTTON");
    for (TsuiUIStyle shared :
         {TsuiUIStyle::DeepBlue, TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass}) {
        EXPECT_EQ(StyleImageName(shared, 38), "MORE_SCROLLBUTTON");
    }
    for (TsuiUIStyle style : kBuiltIn) {
        for (int unnamed : {43, 45, 46}) {
            EXPECT_EQ(StyleEntry(style, unnamed).kind, ThemeEntryKind::Image);
            EXPECT_EQ(StyleImageName(style, unnamed), "");
        }
    }
}

TEST(StyleTable, ValuesOfTheBuiltInStyles) {
    EXPECT_TRUE(StyleBool(TsuiUIStyle::MacOS, kButtonTransparentElement));
    EXPECT_FALSE(StyleBool(TsuiUIStyle::WinXP, kButtonTransparentElement));
    EXPECT_FALSE(StyleBool(TsuiUIStyle::DeepBlue, kButtonTransparentElement));
    EXPECT_FALSE(StyleBool(TsuiUIStyle::Protein, kButtonTransparentElement));
    EXPECT_TRUE(StyleBool(TsuiUIStyle::BlueGlass, kButtonTransparentElement));
    EXPECT_EQ(StyleInt(TsuiUIStyle::BlueGlass, 8), -3);
    EXPECT_EQ(StyleInt(TsuiUIStyle::MacOS, 8), -2);
    EXPECT_EQ(StyleInt(TsuiUIStyle::BlueGlass, 13), 270);
    EXPECT_EQ(StyleInt(TsuiUIStyle::WinXP, 17), 3);
    EXPECT_EQ(StyleColor(TsuiUIStyle::WinXP, 16), 0xC82C00u);
    EXPECT_EQ(StyleColor(TsuiUIStyle::BlueGlass, 18), 0xEC5E5Eu);
    EXPECT_EQ(StyleColor(TsuiUIStyle::WinXP, 27), 0xCF4602u);
    EXPECT_EQ(StyleColor(TsuiUIStyle::Protein, 48), 0xFBFBFBu);
    EXPECT_EQ(StyleColor(TsuiUIStyle::MacOS, 21), 0x000000u);
}

TEST(StyleTable, LookupsOutsideTheTableGiveNeutralAnswers) {
    EXPECT_FALSE(StyleBool(TsuiUIStyle::FromThemeFile, kButtonTransparentElement));
    EXPECT_EQ(StyleInt(TsuiUIStyle::FromThemeFile, 7), -1);
    EXPECT_EQ(StyleEntry(TsuiUIStyle::FromThemeFile, 1).value, -1);
    EXPECT_EQ(StyleImageName(TsuiUIStyle::FromThemeFile, 1), "");
    // Asking for the wrong kind of an entry.
    EXPECT_EQ(StyleColor(TsuiUIStyle::WinXP, 1), 0u);
    EXPECT_EQ(StyleInt(TsuiUIStyle::WinXP, 15), -1);
    EXPECT_FALSE(StyleBool(TsuiUIStyle::MacOS, 7));
    // Styles beyond the five, and element indices beyond the table.
    EXPECT_EQ(StyleEntry(static_cast<TsuiUIStyle>(6), 1).value, -1);
    EXPECT_EQ(StyleEntry(static_cast<TsuiUIStyle>(127), 2).value, -1);
    for (int element : {0, -1, 49, 1000}) {
        EXPECT_EQ(StyleEntry(TsuiUIStyle::BlueGlass, element).value, -1) << element;
        EXPECT_EQ(StyleImageName(TsuiUIStyle::BlueGlass, element), "") << element;
        EXPECT_STREQ(ThemeEntryKey(element), "") << element;
    }
}

TEST(StyleTable, TheStyleByteIsMaskedToSevenBits) {
    const auto highBitBlueGlass = static_cast<TsuiUIStyle>(0x85);
    EXPECT_TRUE(StyleBool(highBitBlueGlass, kButtonTransparentElement));
    EXPECT_EQ(StyleImageName(highBitBlueGlass, 1), "BLUEGLASS_BUTTON");
    EXPECT_EQ(StyleEntry(static_cast<TsuiUIStyle>(0x80), 2).value, -1);
}

} // namespace
