#include "app/core/WindowPlacement.h"

#include <gtest/gtest.h>
#include <limits>

using placement::OnAScreen;

namespace {

const QSize kBar(335, 26);
// A 1920 x 1080 screen with a 1280 x 1024 one to its left, its top 100 pixels lower.
const std::vector<QRect> kTwoScreens{QRect(0, 0, 1920, 1080), QRect(-1280, 100, 1280, 1024)};

} // namespace

TEST(WindowPlacement, AWindowWhollyOnAScreenStaysWhereItWasSaved) {
    for (const QPoint saved : {QPoint(441, 0), QPoint(0, 0), QPoint(1920 - 335, 1080 - 26),
                               QPoint(-1280, 100), QPoint(-335, 1124 - 26)})
        EXPECT_EQ(OnAScreen(saved, kBar, kTwoScreens), saved) << saved.x() << "," << saved.y();
}

TEST(WindowPlacement, AWindowOffTheScreensIsMovedOntoTheNearestKeepingWhatIsVisible) {
    struct Case {
        QPoint saved;
        QPoint placed;
        const char* why;
    };
    const Case cases[] = {
        {{2500, 300}, {1585, 300}, "screen to the right removed: x pulled in, y kept"},
        {{1700, 300}, {1585, 300}, "partly over the right edge"},
        {{441, -10}, {441, 0}, "above the top"},
        {{441, 1070}, {441, 1054}, "below the bottom"},
        {{-3000, 500}, {-1280, 500}, "left of the left screen"},
        {{-600, 50}, {-600, 100}, "left screen, above its top: onto that screen"},
        {{-200, 50}, {0, 50}, "above the left screen, centre nearer the right one"},
        {{-180, 500}, {-335, 500}, "straddling the two screens, centre on the left one"},
        {{-200, 500}, {-335, 500}, "straddling, centre on the left one, further in"},
        {{-150, 500}, {0, 500}, "straddling, centre on the right one"},
        {{3000, 5000}, {1585, 1054}, "far below and to the right: into the corner"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OnAScreen(c.saved, kBar, kTwoScreens), c.placed) << c.why;
}

TEST(WindowPlacement, ExtremeSavedValuesSmallScreensAndNoScreens) {
    const int max = std::numeric_limits<int>::max();
    const int min = std::numeric_limits<int>::min();
    EXPECT_EQ(OnAScreen({max, max}, kBar, kTwoScreens), QPoint(1585, 1054));
    EXPECT_EQ(OnAScreen({min, min}, kBar, kTwoScreens), QPoint(-1280, 100));
    EXPECT_EQ(OnAScreen({max, min}, kBar, kTwoScreens), QPoint(1585, 0));
    // A screen narrower than the bar: its left edge, so the bar's own button stays reachable.
    EXPECT_EQ(OnAScreen({500, 10}, kBar, {QRect(0, 0, 300, 200)}), QPoint(0, 10));
    EXPECT_EQ(OnAScreen({5000, 5000}, kBar, {}), QPoint(5000, 5000));
}
