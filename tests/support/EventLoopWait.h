#pragma once

#include <chrono>
#include <functional>

// Runs the Qt event loop until `done` holds; false when it did not within `limit`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
