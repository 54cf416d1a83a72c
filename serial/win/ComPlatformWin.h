// The serial platform on Windows: each call goes to the system's communications calls
// unchanged. The Windows driver keeps the queues, applies the time-out rules and raises the
// line and modem events itself, so nothing here emulates anything.
#pragma once

#include "ComPlatform.h"

namespace serial {

class ComPlatformWin : public ComPlatform {
public:
    // "COMn", or any other device name, is opened as "\\.\" + the name (the form that also
    // reaches COM10 and above); a name already in that form is used as it is.
    THandle CreateFile(const std::string& deviceName) override;
    bool CloseHandle(THandle handle) override;

    THandle CreateEvent(bool manualReset, bool initialState) override;
    bool SetEvent(THandle event) override;
    bool ResetEvent(THandle event) override;
    std::uint32_t WaitForSingleObject(THandle handle, std::uint32_t milliseconds) override;
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const THandle* handles, bool waitAll,
                                         std::uint32_t milliseconds) override;

    bool SetupComm(THandle device, std::uint32_t inQueue, std::uint32_t outQueue) override;
    bool SetCommState(THandle device, const TDCB& dcb) override;
    bool SetCommTimeouts(THandle device, const TCommTimeouts& timeouts) override;

    bool ReadFile(THandle device, void* buffer, std::uint32_t count, std::uint32_t* bytesRead,
                  TOverlapped* overlapped) override;
    bool WriteFile(THandle device, const void* buffer, std::uint32_t count,
                   std::uint32_t* bytesWritten, TOverlapped* overlapped) override;
    bool GetOverlappedResult(THandle device, TOverlapped* overlapped,
                             std::uint32_t* bytesTransferred, bool wait) override;

    bool PurgeComm(THandle device, std::uint32_t flags) override;
    bool ClearCommError(THandle device, std::uint32_t* errors, TComStat* stat) override;
    bool GetCommModemStatus(THandle device, std::uint32_t* modemStatus) override;
    bool SetCommMask(THandle device, std::uint32_t mask) override;
    bool WaitCommEvent(THandle device, std::uint32_t* mask, TOverlapped* overlapped) override;

    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t GetLastError() override;

    // The system's name for a port name.
    static std::string DevicePath(const std::string& deviceName);
};

} // namespace serial
