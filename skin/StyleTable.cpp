#include "skin/StyleTable.h"

namespace {

constexpr ThemeEntryKind N = ThemeEntryKind::Integer;
constexpr ThemeEntryKind C = ThemeEntryKind::Color;
constexpr ThemeEntryKind I = ThemeEntryKind::Image;
constexpr ThemeEntryKind B = ThemeEntryKind::Boolean;

// The theme table as three parallel arrays: key names, kinds, and one row of 32-bit
// values per built-in style (MacOS, WinXP, DeepBlue, Protein, BlueGlass). Colours are
// 0xBBGGRR; an image value is an index into kResourceNames, 0 meaning no bitmap.

const char* const kEntryKeys[kThemeEntryCount] = {
    "ButtonImage",
    "ButtonTransparentBool",
    "CheckBoxImage",
    "RadioButtonImage",
    "TitleBarButtonImage",
    "TitleBarButtonTransparentBool",
    "TitleBarButtonLeftOffsetInt",
    "TitleBarButtonRightOffsetInt",
    "TitleBarButtonTopInt",
    "TitleBarLeftImage",
    "TitleBarClientImage",
    "TitleBarRightImage",
    "FormMinWidthInt",
    "FormRoundCornerInt",
    "FormBackgroundColor",
    "FormBorderColor",
    "FormBorderWidthInt",
    "MenuSelectedBorderColor",
    "MenuSelectedBackgroundColor",
    "MenuSelectedFontColor",
    "MenuBackgroundColor",
    "MenuFontColor",
    "MenuBarColor",
    "ProgressBarImage",
    "ControlBorderColor",
    "ControlBackgroundColor",
    "ControlFontColor",
    "TrackBarBarImage",
    "TrackBarSliderImage",
    "TrackBarSliderVImage",
    "ScrollBarBackgroundColor",
    "ScrollBarButtonImage",
    "ScrollBarSliderImage",
    "CheckListBoxImage",
    "ToolBarButtonBorderColor",
    "ToolBarButtonBackgroundColor",
    "ToolBarButtonDownBackgroundColor",
    "ScrollButtonImage",
    "TabControlTabImage",
    "TabControlBarImage",
    "SideChannelHandleImage",
    "SideChannelBarImage",
    "TitleBarMinimizedImage",
    "TitleBarFontColor",
    "FormLeftBorderImage",
    "FormBottomBorderImage",
    "FormBottomRoundCornerInt",
    "MenuMenuBarColor",
};

const ThemeEntryKind kEntryKinds[kThemeEntryCount] = {
    I, B, I, I, I, B, N, N, N, I, I, I, N, N, C, C, N, C, C, C, C, C, C, I,
    C, C, C, I, I, I, C, I, I, I, C, C, C, I, I, I, I, I, I, C, I, I, N, C,
};

const char* const kResourceNames[] = {
    "",
    // MacOS, indices 1 to 19
    "MACOS_BUTTON",
    "MACOS_CHECKBOX",
    "MACOS_RADIOBUTTON",
    "MACOS_TITLEBTN",
    "MACOS_TITLE_LEFT",
    "MACOS_TITLE_CLIENT",
    "MACOS_TITLE_RIGHT",
    "MACOS_PROGRESSBAR",
    "MACOS_TRACKBAR_BAR",
    "MACOS_TRACKBAR_SLIDER",
    "MACOS_TRACKBAR_SLIDER_V",
    "MACOS_SCROLLBAR_BUTTON",
    "MACOS_SCROLLBAR_TRACK",
    "MACOS_CHECKLIST",
    "MACOS_SCROLLBUTTON",
    "MACOS_TAB",
    "MACOS_TAB_LINE",
    "MACOS_SIDECHENNEL_HANDLE",
    "MACOS_SIDECHENNEL_BAR",
    // WinXP, indices 20 to 38
    "WINXP_BUTTON",
    "WINXP_CHECKBOX",
    "WINXP_RADIOBUTTON",
    "WINXP_TITLEBTN",
    "WINXP_TITLE_LEFT",
    "WINXP_TITLE_CLIENT",
    "WINXP_TITLE_RIGHT",
    "WINXP_PROGRESSBAR",
    "WINXP_TRACKBAR_BAR",
    "WINXP_TRACKBAR_SLIDER",
    "WINXP_TRACKBAR_SLIDER_V",
    "WINXP_SCROLLBAR_BUTTON",
    "WINXP_SCROLLBAR_TRACK",
    "WINXP_CHECKLIST",
    "WINXP_SCROLLBUTTON",
    "WINXP_TAB",
    "WINXP_TAB_LINE",
    "WINXP_SIDECHENNEL_HANDLE",
    "WINXP_SIDECHENNEL_BAR",
    // DeepBlue, indices 39 to 57
    "DEEPBLUE_BUTTON",
    "DEEPBLUE_CHECKBOX",
    "DEEPBLUE_RADIOBUTTON",
    "DEEPBLUE_TITLEBTN",
    "DEEPBLUE_TITLE_LEFT",
    "DEEPBLUE_TITLE_CLIENT",
    "DEEPBLUE_TITLE_RIGHT",
    "DEEPBLUE_PROGRESSBAR",
    "DEEPBLUE_TRACKBAR_BAR",
    "DEEPBLUE_TRACKBAR_SLIDER",
    "DEEPBLUE_TRACKBAR_SLIDER_V",
    "DEEPBLUE_SCROLLBAR_BUTTON",
    "DEEPBLUE_SCROLLBAR_TRACK",
    "DEEPBLUE_CHECKLIST",
    "MORE_SCROLLBUTTON",
    "DEEPBLUE_TAB",
    "DEEPBLUE_TAB_LINE",
    "DEEPBLUE_SIDECHENNEL_HANDLE",
    "DEEPBLUE_SIDECHENNEL_BAR",
    // Protein, indices 58 to 76
    "PROTEIN_BUTTON",
    "PROTEIN_CHECKBOX",
    "PROTEIN_RADIOBUTTON",
    "PROTEIN_TITLEBTN",
    "PROTEIN_TITLE_LEFT",
    "PROTEIN_TITLE_CLIENT",
    "PROTEIN_TITLE_RIGHT",
    "PROTEIN_PROGRESSBAR",
    "PROTEIN_TRACKBAR_BAR",
    "PROTEIN_TRACKBAR_SLIDER",
    "PROTEIN_TRACKBAR_SLIDER_V",
    "PROTEIN_SCROLLBAR_BUTTON",
    "PROTEIN_SCROLLBAR_TRACK",
    "PROTEIN_CHECKLIST",
    "MORE_SCROLLBUTTON",
    "PROTEIN_TAB",
    "PROTEIN_TAB_LINE",
    "PROTEIN_SIDECHENNEL_HANDLE",
    "PROTEIN_SIDECHENNEL_BAR",
    // BlueGlass, indices 77 to 95
    "BLUEGLASS_BUTTON",
    "BLUEGLASS_CHECKBOX",
    "BLUEGLASS_RADIOBUTTON",
    "BLUEGLASS_TITLEBTN",
    "BLUEGLASS_TITLE_LEFT",
    "BLUEGLASS_TITLE_CLIENT",
    "BLUEGLASS_TITLE_RIGHT",
    "BLUEGLASS_PROGRESSBAR",
    "BLUEGLASS_TRACKBAR_BAR",
    "BLUEGLASS_TRACKBAR_SLIDER",
    "BLUEGLASS_TRACKBAR_SLIDER_V",
    "BLUEGLASS_SCROLLBAR_BUTTON",
    "BLUEGLASS_SCROLLBAR_TRACK",
    "BLUEGLASS_CHECKLIST",
    "MORE_SCROLLBUTTON",
    "BLUEGLASS_TAB",
    "BLUEGLASS_TAB_LINE",
    "BLUEGLASS_SIDECHENNEL_HANDLE",
    "BLUEGLASS_SIDECHENNEL_BAR",
};

const std::int32_t kStyleValues[5][kThemeEntryCount] = {
    // MacOS
    {
        1,        1,        2,        3,        4,        0,        3,        -2,
        4,        5,        6,        7,        130,      0,        0xE7E7E7, 0x7F7F7F,
        1,        0xC47339, 0xC47339, 0xFFFFFF, 0x000000, 0x000000, 0x000000, 8,
        0x7F7F7F, 0xE7E7E7, 0x000000, 9,        10,       11,       0xC9C9C9, 12,
        13,       14,       0x474747, 0xEFEFEF, 0xD8D8D8, 15,       16,       17,
        18,       19,       0,        0x000000, 0,        0,        0,        0xE7E7E7,
    },
    // WinXP
    {
        20,       0,        21,       22,       23,       0,        2,        -2,
        5,        24,       25,       26,       150,      13,       0xDEEBEF, 0xC82C00,
        3,        0xC66931, 0xEFD3C6, 0x000000, 0xFFFFFF, 0x000000, 0xCED3D6, 27,
        0x686868, 0xDEEBEF, 0xCF4602, 28,       29,       30,       0xF9F9F9, 31,
        32,       33,       0xC66931, 0xEFD3C6, 0xE1AC93, 34,       35,       36,
        37,       38,       0,        0xFFFFFF, 0,        0,        0,        0xDEEBEF,
    },
    // DeepBlue
    {
        39,       0,        40,       41,       42,       0,        0,        0,
        2,        43,       44,       45,       130,      0,        0xE8E8E8, 0x000000,
        1,        0xA04A44, 0xA04A44, 0xFFFFFF, 0xFFFFFF, 0x000000, 0xCED3D6, 46,
        0x000000, 0xE8E8E8, 0x000000, 47,       48,       49,       0xF5F5F5, 50,
        51,       52,       0x474747, 0xEFEFEF, 0xD8D8D8, 53,       54,       55,
        56,       57,       0,        0xFFFFFF, 0,        0,        0,        0xE8E8E8,
    },
    // Protein
    {
        58,       0,        59,       60,       61,       1,        0,        0,
        2,        62,       63,       64,       130,      0,        0xFBFBFB, 0x000000,
        1,        0xC4302D, 0xC4302D, 0xFFFFFF, 0xFFFFFF, 0x000000, 0xCED3D6, 65,
        0x000000, 0xFBFBFB, 0x000000, 66,       67,       68,       0xF5F5F5, 69,
        70,       71,       0x474747, 0xEFEFEF, 0xD8D8D8, 72,       73,       74,
        75,       76,       0,        0xFFFFFF, 0,        0,        0,        0xFBFBFB,
    },
    // BlueGlass
    {
        77,       1,        78,       79,       80,       1,        4,        -3,
        6,        81,       82,       83,       270,      11,       0xE7E7E7, 0x000000,
        1,        0xEC5E5E, 0xEC5E5E, 0xFFFFFF, 0xE7E7E7, 0x000000, 0xCED3D6, 84,
        0x000000, 0xE7E7E7, 0x000000, 85,       86,       87,       0xF4F4F4, 88,
        89,       90,       0x474747, 0xEFEFEF, 0xD8D8D8, 91,       92,       93,
        94,       95,       0,        0xFFFFFF, 0,        0,        0,        0xE7E7E7,
    },
};

constexpr int kBuiltInStyleCount = 5;
constexpr int kResourceNameCount =
    static_cast<int>(sizeof(kResourceNames) / sizeof(*kResourceNames));

bool ValidElement(int element) {
    return element >= 1 && element <= kThemeEntryCount;
}

} // namespace

StyleEntryValue StyleEntry(TsuiUIStyle style, int element) {
    const int index = static_cast<std::uint8_t>(style) & 0x7F;
    if (index < 1 || index > kBuiltInStyleCount || !ValidElement(element)) {
        return {-1, ThemeEntryKind::Integer};
    }
    return {kStyleValues[index - 1][element - 1], kEntryKinds[element - 1]};
}

bool StyleBool(TsuiUIStyle style, int element) {
    const StyleEntryValue entry = StyleEntry(style, element);
    return entry.kind == ThemeEntryKind::Boolean && entry.value != 0;
}

std::uint32_t StyleColor(TsuiUIStyle style, int element) {
    const StyleEntryValue entry = StyleEntry(style, element);
    return entry.kind == ThemeEntryKind::Color ? static_cast<std::uint32_t>(entry.value) : 0;
}

std::int32_t StyleInt(TsuiUIStyle style, int element) {
    const StyleEntryValue entry = StyleEntry(style, element);
    return entry.kind == ThemeEntryKind::Integer ? entry.value : -1;
}

std::string StyleImageName(TsuiUIStyle style, int element) {
    const StyleEntryValue entry = StyleEntry(style, element);
    if (entry.kind != ThemeEntryKind::Image || entry.value < 0 ||
        entry.value >= kResourceNameCount) {
        return {};
    }
    return kResourceNames[entry.value];
}

const char* ThemeEntryKey(int element) {
    return ValidElement(element) ? kEntryKeys[element - 1] : "";
}

ThemeEntryKind ThemeEntryKindOf(int element) {
    return ValidElement(element) ? kEntryKinds[element - 1] : ThemeEntryKind::Integer;
}
