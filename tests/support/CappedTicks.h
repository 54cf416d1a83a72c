#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "Pause.h"

// A tick counter that moves only when the spooler sleeps or yields on it. Each sleep lasts at
// most `cap` real milliseconds but counts in full, so the card's long pauses can be cut short
// while the printer still has time to answer a status request before the spooler looks.
class CappedTicks : public pacing::TickSource {
public:
    explicit CappedTicks(std::uint32_t cap = UINT32_MAX) : cap_(cap) {}

    std::uint32_t Now() override { return now_; }
    void Sleep(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, cap_)));
        now_ += milliseconds;
    }
    void LetOthersRun() override {
        std::this_thread::yield();
        ++now_;
    }

private:
    const std::uint32_t cap_;
    std::atomic<std::uint32_t> now_{0};
};
