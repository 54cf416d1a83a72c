#pragma once

#include <cstdint>

namespace pacing {

// The clock a pause runs on: the system's millisecond tick counter, which wraps at 2^32, and
// a way to give the processor away for a while.
class TickSource {
public:
    virtual ~TickSource() = default;
    virtual std::uint32_t Now() = 0;
    // Sleeps about that many milliseconds; may sleep longer on a busy machine.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Lets another thread run for a moment.
    virtual void LetOthersRun() = 0;
};

// The system's tick counter and the calling thread's sleep.
TickSource& SystemTicks();

// How close to the end of a pause the wait stops sleeping and watches the counter instead:
// a sleep can end a little late, a watched counter is read the moment it moves.
constexpr std::uint32_t kWatchedMilliseconds = 2;

// Waits until the tick counter has advanced by more than `milliseconds` since the call, so
// that at least that many whole milliseconds have passed. Elapsed time is the difference of
// two readings, which the counter's wrap does not disturb. Sleeps through most of the wait
// and watches the counter only for its last milliseconds; processes nothing meanwhile.
void Pause(TickSource& ticks, std::uint32_t milliseconds);

} // namespace pacing
