// Line speeds the termios speed constants lack go through the kernel's arbitrary-rate
// interface; kept apart because its headers clash with <termios.h>.
#pragma once

#include <cstdint>

namespace serial {

// Sets both directions of the line to `rate` bits per second. Returns 0 or an errno value.
int SetArbitraryBaudRate(int fd, std::uint32_t rate);

} // namespace serial
