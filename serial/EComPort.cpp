#include "serial/EComPort.h"

#include <array>
#include <string>

namespace {
constexpr std::array<const char*, 23> texts = {"Unable to open com port",
                                               "WriteFile function failed",
                                               "ReadFile function failed",
                                               "Invalid Async parameter",
                                               "PurgeComm function failed",
                                               "Unable to get async status",
                                               "SetCommState function failed",
                                               "SetCommTimeouts failed",
                                               "SetupComm function failed",
                                               "ClearCommError function failed",
                                               "GetCommModemStatus function failed",
                                               "EscapeCommFunction function failed",
                                               "TransmitCommChar function failed",
                                               "Cannot set property while connected",
                                               "EnumPorts function failed",
                                               "Failed to store settings",
                                               "Failed to load settings",
                                               "Link (un)registration failed",
                                               "Cannot change led state if ComPort is selected",
                                               "Cannot wait for event if event thread is created",
                                               "WaitForEvent method failed",
                                               "A component is linked to OnRxBuf event",
                                               "Registry error"};
} // namespace

const char* EComPort::Text(std::int32_t errorCode) {
    if (errorCode < 1 || errorCode > static_cast<std::int32_t>(texts.size()))
        return "";
    return texts[static_cast<std::size_t>(errorCode - 1)];
}

EComPort::EComPort(std::int32_t errorCode, std::int32_t systemErrorCode)
    : std::runtime_error(std::string(Text(errorCode)) +
                         " (win error code: " + std::to_string(systemErrorCode) + ")"),
      errorCode_(errorCode), systemErrorCode_(systemErrorCode) {}

EComPort::EComPort(std::int32_t errorCode)
    : std::runtime_error(Text(errorCode)), errorCode_(errorCode), systemErrorCode_(-1) {}
