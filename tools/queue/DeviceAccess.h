#pragma once

#include <QString>
#include <optional>

// What the station command needs to know of the printer's device, one source file per system.

// A note for the person setting up a station whose user may not open the printer's device:
// it names the group that owns such devices (`dialout` when the device is not there yet, as
// with a USB adapter not plugged in) and how to join it. Nothing when the device opens
// already, or for the superuser.
std::optional<QString> DeviceAccessNote(const QString& device);
