#pragma once

#include <functional>
#include <memory>

class QTimer;

// The ticks of a button held down: `tick` runs every `interval` milliseconds from Start until
// Stop. It is armed from Start to Stop even when the interval gives no ticks.
class RepeatTicker {
public:
    explicit RepeatTicker(std::function<void()> tick);
    ~RepeatTicker();

    // Arms the ticker with the interval as it is now; 0 or less arms it without ticks.
    void Start(int interval);
    void Stop();
    bool Armed() const { return timer_ != nullptr; }

private:
    std::function<void()> tick_;
    std::unique_ptr<QTimer> timer_;
};
