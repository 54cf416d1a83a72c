#include "Pause.h"

#include <gtest/gtest.h>

namespace {

// A tick counter driven by the test: it starts where the test says, advances 10 µs on every
// reading (a reading takes time) and by the slept time, plus an optional lateness, on a sleep.
class FakeTicks : public pacing::TickSource {
public:
    FakeTicks(std::uint32_t startTick, std::uint64_t lateSleepUs)
        : us_(std::uint64_t{startTick} * 1000), lateSleepUs_(lateSleepUs) {}

    std::uint32_t Now() override {
        ++reads;
        us_ += 10;
        return static_cast<std::uint32_t>(us_ / 1000);
    }
    void Sleep(std::uint32_t milliseconds) override {
        slept += milliseconds;
        us_ += std::uint64_t{milliseconds} * 1000 + lateSleepUs_;
    }
    void LetOthersRun() override { us_ += 1; }

    std::uint64_t Microseconds() const { return us_; }

    int reads = 0;
    std::uint64_t slept = 0;

private:
    std::uint64_t us_;
    std::uint64_t lateSleepUs_;
};

} // namespace

// The lower bound holds whatever the counter reads at the start, in particular just before
// it wraps to 0, and whether sleeps end on time or late; on time, the pause overshoots by
// less than the last tick and the watched stretch.
TEST(Pause, WaitsAtLeastTheGivenTimeAcrossTheCountersWrap) {
    for (const std::uint32_t start : {0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFF0u, 0xFFFFFF38u, 0u}) {
        for (const std::uint32_t ms : {0u, 1u, 2u, 3u, 50u, 200u}) {
            for (const std::uint64_t late : {std::uint64_t{0}, std::uint64_t{1500}}) {
                FakeTicks ticks(start, late);
                const std::uint64_t before = ticks.Microseconds();
                pacing::Pause(ticks, ms);
                const std::uint64_t waited = ticks.Microseconds() - before;
                EXPECT_GE(waited, std::uint64_t{ms} * 1000)
                    << "start " << start << ", " << ms << " ms, late " << late;
                if (late == 0) {
                    EXPECT_LE(waited, std::uint64_t{ms + 2} * 1000)
                        << "start " << start << ", " << ms << " ms";
                }
            }
        }
    }
}

// A long pause is slept through, not spun: reading the counter for the whole 200 ms would
// take 20,000 readings of this counter.
TEST(Pause, SleepsThroughAllButTheLastMilliseconds) {
    FakeTicks ticks(0xFFFFFF9Cu, 0);
    pacing::Pause(ticks, 200);
    EXPECT_GE(ticks.slept, 200u - pacing::kWatchedMilliseconds - 1);
    EXPECT_LT(ticks.reads, 500);
}
