// The serial port component's error: a code from a fixed table of texts and, when the
// failure came from a system call, that call's error code.
#pragma once

#include <cstdint>
#include <stdexcept>

class EComPort : public std::runtime_error {
public:
    // Message: the code's text followed by " (win error code: <systemErrorCode>)".
    EComPort(std::int32_t errorCode, std::int32_t systemErrorCode);
    // Message: the code's text alone; SystemErrorCode is -1.
    explicit EComPort(std::int32_t errorCode);

    std::int32_t ErrorCode() const { return errorCode_; }
    std::int32_t SystemErrorCode() const { return systemErrorCode_; }

    // The text of a code from 1 to 23; empty for any other code.
    static const char* Text(std::int32_t errorCode);

private:
    std::int32_t errorCode_;
    std::int32_t systemErrorCode_;
};

// Error codes of EComPort.
enum : std::int32_t {
    CError_OpenFailed = 1,
    CError_WriteFailed = 2,
    CError_ReadFailed = 3,
    CError_InvalidAsync = 4,
    CError_PurgeFailed = 5,
    CError_AsyncCheck = 6,
    CError_SetStateFailed = 7,
    CError_TimeoutsFailed = 8,
    CError_SetupComFailed = 9,
    CError_ClearComFailed = 10,
    CError_ModemStatFailed = 11,
    CError_EscapeComFailed = 12,
    CError_TransmitFailed = 13,
    CError_ConnChangeProp = 14,
    CError_EnumPortsFailed = 15,
    CError_StoreFailed = 16,
    CError_LoadFailed = 17,
    CError_RegFailed = 18,
    CError_LedStateFailed = 19,
    CError_ThreadCreated = 20,
    CError_WaitFailed = 21,
    CError_HasLink = 22,
    CError_RegError = 23
};
