// One overlapped read or write with its own completion event.
#pragma once

#include "ComPlatform.h"
#include "serial/ComTypes.h"

#include <cstdint>
#include <optional>
#include <string>

struct TComRequest {
    serial::TOverlapped OverlappedState;
    TRequestDirection Direction = rdWrite;
    // Private copy of the bytes given to the last write on this request, for the links.
    std::optional<std::string> SentCopy;
    std::int32_t SentLength = 0;
    // Whether the device took the last read or write started on it. The system marks the block
    // pending before it asks the driver, and leaves it so when the driver refuses the request
    // at once: only a request the device took may still end later and must be settled before
    // it is freed.
    bool Taken = false;
};
