// Error codes of failed POSIX calls, turned into the codes the serial layer reports.
#pragma once

#include <cstdint>

namespace serial {

// Maps an errno value to the Windows error code that means the same for a serial device.
std::uint32_t ErrnoToSystemError(int errnoValue);

} // namespace serial
