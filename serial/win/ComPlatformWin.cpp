#include "serial/win/ComPlatformWin.h"

#include "serial/DevicePath.h"
#include "serial/win/Kernel32.h"

namespace serial {

std::string TComPlatformWin::DevicePath(const std::string& deviceName) {
    if (deviceName.rfind("\\\\.\\", 0) == 0)
        return deviceName;
    return "\\\\.\\" + deviceName;
}

std::string DevicePathFor(int n) {
    return n < 1 ? std::string() : TComPlatformWin::DevicePath("COM" + std::to_string(n));
}

THandle TComPlatformWin::CreateFile(const std::string& deviceName) {
    return kernel32::OpenDevice(DevicePath(deviceName));
}

bool TComPlatformWin::CloseHandle(THandle handle) {
    return kernel32::Close(handle);
}

THandle TComPlatformWin::CreateEvent(bool manualReset, bool initialState) {
    return kernel32::NewEvent(manualReset, initialState);
}

bool TComPlatformWin::SetEvent(THandle event) {
    return kernel32::Signal(event);
}

bool TComPlatformWin::ResetEvent(THandle event) {
    return kernel32::Unsignal(event);
}

std::uint32_t TComPlatformWin::WaitForSingleObject(THandle handle, std::uint32_t milliseconds) {
    return kernel32::WaitOne(handle, milliseconds);
}

std::uint32_t TComPlatformWin::WaitForMultipleObjects(std::uint32_t count, const THandle* handles,
                                                      bool waitAll, std::uint32_t milliseconds) {
    return kernel32::WaitAny(count, handles, waitAll, milliseconds);
}

bool TComPlatformWin::SetupComm(THandle device, std::uint32_t inQueue, std::uint32_t outQueue) {
    return kernel32::SetupQueues(device, inQueue, outQueue);
}

bool TComPlatformWin::SetCommState(THandle device, const TDCB& dcb) {
    return kernel32::SetLineState(device, dcb);
}

bool TComPlatformWin::SetCommTimeouts(THandle device, const TCommTimeouts& timeouts) {
    return kernel32::SetLineTimeouts(device, timeouts);
}

bool TComPlatformWin::ReadFile(THandle device, void* buffer, std::uint32_t count,
                               std::uint32_t* bytesRead, TOverlapped* overlapped) {
    return kernel32::Read(device, buffer, count, bytesRead, overlapped);
}

bool TComPlatformWin::WriteFile(THandle device, const void* buffer, std::uint32_t count,
                                std::uint32_t* bytesWritten, TOverlapped* overlapped) {
    return kernel32::Write(device, buffer, count, bytesWritten, overlapped);
}

bool TComPlatformWin::GetOverlappedResult(THandle device, TOverlapped* overlapped,
                                          std::uint32_t* bytesTransferred, bool wait) {
    return kernel32::OverlappedResult(device, overlapped, bytesTransferred, wait);
}

bool TComPlatformWin::PurgeComm(THandle device, std::uint32_t flags) {
    return kernel32::Purge(device, flags);
}

bool TComPlatformWin::ClearCommError(THandle device, std::uint32_t* errors, TComStat* stat) {
    return kernel32::ClearErrors(device, errors, stat);
}

bool TComPlatformWin::GetCommModemStatus(THandle device, std::uint32_t* modemStatus) {
    return kernel32::ModemStatus(device, modemStatus);
}

bool TComPlatformWin::SetCommMask(THandle device, std::uint32_t mask) {
    return kernel32::SetEventMask(device, mask);
}

bool TComPlatformWin::WaitCommEvent(THandle device, std::uint32_t* mask, TOverlapped* overlapped) {
    return kernel32::WaitLineEvent(device, mask, overlapped);
}

void TComPlatformWin::Sleep(std::uint32_t milliseconds) {
    kernel32::SleepFor(milliseconds);
}

std::uint32_t TComPlatformWin::GetLastError() {
    return kernel32::LastError();
}

TComPlatform& SystemComPlatform() {
    static TComPlatformWin platform;
    return platform;
}

} // namespace serial
