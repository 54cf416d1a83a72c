// Puts a device control block on a terminal device: termios for the frame, speed and flow
// control, the modem-control ioctls for DTR and RTS.
#pragma once

#include "ComPlatform.h"
#include "posix/PosixSys.h"

namespace serial {

// Returns 0 or the Windows error code of the failure; ERROR_INVALID_PARAMETER for a block
// no line can take (a byte size outside 5..8, an unknown parity or stop-bit value, a zero
// rate, equal XON and XOFF characters with XON/XOFF on) or one the device refused.
std::uint32_t ApplyDeviceControlBlock(PosixSys& sys, int fd, const TDCB& dcb, bool hasModemLines);

} // namespace serial
