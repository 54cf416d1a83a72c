// The four read-timeout rules against byte arrival times on a clock the test sets.
#include "posix/ReadTimeout.h"

#include <gtest/gtest.h>

namespace {

using namespace serial;
using namespace std::chrono_literals;
using Clock = ReadTimeout::Clock;

const Clock::time_point t0{};

TEST(ReadTimeout, AllOnesIntervalWithoutTotalsEndsAtOnce) {
    const ReadTimeout r({MAXDWORD, 0, 0, 0, 0}, 10, t0);
    EXPECT_TRUE(r.Ends(t0));
}

TEST(ReadTimeout, FirstByteEndsOrTheConstantRunsOut) {
    ReadTimeout r({MAXDWORD, MAXDWORD, 200, 0, 0}, 10, t0);
    EXPECT_FALSE(r.Ends(t0 + 199ms));
    EXPECT_TRUE(r.Ends(t0 + 200ms)) << "empty after the constant";
    ReadTimeout early({MAXDWORD, MAXDWORD, 200, 0, 0}, 10, t0);
    early.BytesCame(1, t0 + 50ms);
    EXPECT_TRUE(early.Ends(t0 + 50ms)) << "the first byte ends it";
}

TEST(ReadTimeout, TotalBoundsTheReadAndTheIntervalTheGap) {
    // 10 bytes: 10 x 5 + 100 = 150 ms in all, at most 30 ms between two bytes.
    ReadTimeout r({30, 5, 100, 0, 0}, 10, t0);
    EXPECT_EQ(r.Deadline(), t0 + 150ms) << "no gap before the first byte";
    r.BytesCame(2, t0 + 100ms);
    EXPECT_EQ(r.Deadline(), t0 + 130ms);
    EXPECT_FALSE(r.Ends(t0 + 129ms));
    r.BytesCame(3, t0 + 125ms);
    EXPECT_TRUE(r.Ends(t0 + 150ms)) << "the total, though the gap is short";
    r.BytesCame(10, t0 + 140ms);
    EXPECT_TRUE(r.Ends(t0 + 140ms)) << "every byte came";

    ReadTimeout gapOnly({20, 0, 0, 0, 0}, 4, t0);
    EXPECT_EQ(gapOnly.Deadline(), Clock::time_point::max()) << "waits for the first byte";
    gapOnly.BytesCame(1, t0 + 1s);
    EXPECT_TRUE(gapOnly.Ends(t0 + 1s + 20ms));
}

TEST(ReadTimeout, AllZeroWaitsForEveryByte) {
    ReadTimeout r({0, 0, 0, 0, 0}, 3, t0);
    r.BytesCame(2, t0 + 1s);
    EXPECT_EQ(r.Deadline(), Clock::time_point::max());
    EXPECT_FALSE(r.Ends(t0 + 1h));
    r.BytesCame(3, t0 + 2h);
    EXPECT_TRUE(r.Ends(t0 + 2h));
}

} // namespace
