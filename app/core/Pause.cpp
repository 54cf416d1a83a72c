#include "Pause.h"

#include <chrono>
#include <thread>

#include "platform/TickCount.h"

namespace pacing {

namespace {

class SystemTickSource : public TickSource {
public:
    std::uint32_t Now() override { return platform::GetTickCount(); }
    void Sleep(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    void LetOthersRun() override { std::this_thread::yield(); }
};

} // namespace

TickSource& SystemTicks() {
    static SystemTickSource ticks;
    return ticks;
}

void Pause(TickSource& ticks, std::uint32_t milliseconds) {
    const std::uint32_t start = ticks.Now();
    for (;;) {
        const std::uint32_t elapsed = ticks.Now() - start;
        // Whole ticks: only a difference above the count guarantees the full time has passed.
        if (elapsed > milliseconds)
            return;
        const std::uint32_t left = milliseconds - elapsed;
        if (left > kWatchedMilliseconds)
            ticks.Sleep(left - kWatchedMilliseconds);
        else
            ticks.LetOthersRun();
    }
}

} // namespace pacing
