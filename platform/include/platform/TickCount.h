#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system tick counter.
// Measure intervals as the difference of two readings (unsigned arithmetic survives the wrap).
std::uint32_t GetTickCount();

} // namespace platform
