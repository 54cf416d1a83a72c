#include "platform/TickCount.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(TickCount, AdvancesWithTime) {
    const std::uint32_t a = platform::GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::uint32_t elapsed = platform::GetTickCount() - a;
    EXPECT_GE(elapsed, 20u);
}
