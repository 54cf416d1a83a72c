#include "win/ComPlatformWin.h"

#include "ComErrorCodes.h"
#include "serial/DevicePath.h"
#include "serial/ModemWakeSignal.h"
#include "win/Kernel32.h"

namespace serial {

std::string ComPlatformWin::DevicePath(const std::string& deviceName) {
    if (deviceName.rfind("\\\\.\\", 0) == 0)
        return deviceName;
    return "\\\\.\\" + deviceName;
}

std::string DevicePathFor(int n) {
    return n < 1 ? std::string() : ComPlatformWin::DevicePath("COM" + std::to_string(n));
}

// The driver ends a line-event wait itself (SetCommMask, closing the handle).
int DefaultModemWakeSignal() {
    return 0;
}

void ClaimModemWakeSignal(int) {}

THandle ComPlatformWin::CreateFile(const std::string& deviceName) {
    return kernel32::OpenDevice(DevicePath(deviceName));
}

bool ComPlatformWin::CloseHandle(THandle handle) {
    return kernel32::Close(handle);
}

THandle ComPlatformWin::CreateEvent(bool manualReset, bool initialState) {
    return kernel32::NewEvent(manualReset, initialState);
}

bool ComPlatformWin::SetEvent(THandle event) {
    return kernel32::Signal(event);
}

bool ComPlatformWin::ResetEvent(THandle event) {
    return kernel32::Unsignal(event);
}

std::uint32_t ComPlatformWin::WaitForSingleObject(THandle handle, std::uint32_t milliseconds) {
    return kernel32::WaitOne(handle, milliseconds);
}

std::uint32_t ComPlatformWin::WaitForMultipleObjects(std::uint32_t count, const THandle* handles,
                                                     bool waitAll, std::uint32_t milliseconds) {
    return kernel32::WaitAny(count, handles, waitAll, milliseconds);
}

bool ComPlatformWin::SetupComm(THandle device, std::uint32_t inQueue, std::uint32_t outQueue) {
    return kernel32::SetupQueues(device, inQueue, outQueue);
}

bool ComPlatformWin::SetCommState(THandle device, const TDCB& dcb) {
    return kernel32::SetLineState(device, dcb);
}

bool ComPlatformWin::SetCommTimeouts(THandle device, const TCommTimeouts& timeouts) {
    return kernel32::SetLineTimeouts(device, timeouts);
}

bool ComPlatformWin::ReadFile(THandle device, void* buffer, std::uint32_t count,
                              std::uint32_t* bytesRead, TOverlapped* overlapped) {
    return kernel32::Read(device, buffer, count, bytesRead, overlapped);
}

bool ComPlatformWin::WriteFile(THandle device, const void* buffer, std::uint32_t count,
                               std::uint32_t* bytesWritten, TOverlapped* overlapped) {
    return kernel32::Write(device, buffer, count, bytesWritten, overlapped);
}

bool ComPlatformWin::GetOverlappedResult(THandle device, TOverlapped* overlapped,
                                         std::uint32_t* bytesTransferred, bool wait) {
    if (kernel32::OverlappedResult(device, overlapped, bytesTransferred, wait))
        return true;
    // Windows' own serial driver ends a read or a write that its total time-out cut short as
    // a success with what it transferred; wine (and a driver that follows it) ends it with
    // ERROR_TIMEOUT instead. Both are the same end of the request, and the port counts it
    // short in either case.
    if (kernel32::LastError() != ERROR_TIMEOUT)
        return false;
    *bytesTransferred = static_cast<std::uint32_t>(overlapped->InternalHigh);
    return true;
}

bool ComPlatformWin::PurgeComm(THandle device, std::uint32_t flags) {
    return kernel32::Purge(device, flags);
}

bool ComPlatformWin::ClearCommError(THandle device, std::uint32_t* errors, TComStat* stat) {
    return kernel32::ClearErrors(device, errors, stat);
}

bool ComPlatformWin::GetCommModemStatus(THandle device, std::uint32_t* modemStatus) {
    return kernel32::ModemStatus(device, modemStatus);
}

bool ComPlatformWin::SetCommMask(THandle device, std::uint32_t mask) {
    return kernel32::SetEventMask(device, mask);
}

bool ComPlatformWin::WaitCommEvent(THandle device, std::uint32_t* mask, TOverlapped* overlapped) {
    return kernel32::WaitLineEvent(device, mask, overlapped);
}

void ComPlatformWin::Sleep(std::uint32_t milliseconds) {
    kernel32::SleepFor(milliseconds);
}

std::uint32_t ComPlatformWin::GetLastError() {
    return kernel32::LastError();
}

ComPlatform& SystemComPlatform() {
    static ComPlatformWin platform;
    return platform;
}

} // namespace serial
