#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Waits for a condition that another thread makes true; false when it did not hold within the
// limit. A limit is only how long a failing test takes: make it generous.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
