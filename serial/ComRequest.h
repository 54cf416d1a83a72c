// One overlapped read or write with its own completion event.
#pragma once

#include "serial/ComPlatform.h"
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
};
