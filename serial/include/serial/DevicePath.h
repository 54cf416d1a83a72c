// The device a port number stands for on this system, for programs that show or check it
// before a port opens it.
#pragma once

#include <string>

namespace serial {

// The device the platform opens for port "COMn": /dev/ttyS(n-1) on POSIX, \\.\COMn on
// Windows. Empty for a number below 1.
std::string DevicePathFor(int n);

} // namespace serial
