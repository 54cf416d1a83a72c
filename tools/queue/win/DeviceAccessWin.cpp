#include "DeviceAccess.h"

// Windows lets every user open a serial port; one held by another program is refused at the
// spooler's start, with its own message.
std::optional<QString> DeviceAccessNote(const QString&) {
    return std::nullopt;
}
