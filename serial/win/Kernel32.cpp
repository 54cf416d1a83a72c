// The only file of the serial component that includes <windows.h>. The platform's header
// comes first: its names are macros in <windows.h>, which must not be defined yet while it
// is read; below, the names are the system's.
#include "win/Kernel32.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace serial::kernel32 {

// The component's overlapped block is handed to the system as it is.
static_assert(sizeof(TOverlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(TOverlapped, Internal) == offsetof(OVERLAPPED, Internal));
static_assert(offsetof(TOverlapped, InternalHigh) == offsetof(OVERLAPPED, InternalHigh));
static_assert(offsetof(TOverlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(TOverlapped, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(TOverlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
static_assert(sizeof(TCommTimeouts) == sizeof(COMMTIMEOUTS));
static_assert(sizeof(TComStat) == sizeof(COMSTAT));
static_assert(sizeof(THandle) == sizeof(HANDLE));

namespace {

HANDLE H(THandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

THandle T(HANDLE handle) {
    return reinterpret_cast<THandle>(handle);
}

OVERLAPPED* O(TOverlapped* overlapped) {
    return reinterpret_cast<OVERLAPPED*>(overlapped);
}

DWORD* D(std::uint32_t* value) {
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
    return reinterpret_cast<DWORD*>(value);
}

} // namespace

THandle OpenDevice(const std::string& path) {
    return T(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr));
}

bool Close(THandle handle) {
    return CloseHandle(H(handle)) != 0;
}

THandle NewEvent(bool manualReset, bool initialState) {
    return T(CreateEventA(nullptr, manualReset, initialState, nullptr));
}

bool Signal(THandle event) {
    return SetEvent(H(event)) != 0;
}

bool Unsignal(THandle event) {
    return ResetEvent(H(event)) != 0;
}

std::uint32_t WaitOne(THandle handle, std::uint32_t milliseconds) {
    return WaitForSingleObject(H(handle), milliseconds);
}

std::uint32_t WaitAny(std::uint32_t count, const THandle* handles, bool waitAll,
                      std::uint32_t milliseconds) {
    std::vector<HANDLE> system(count);
    for (std::uint32_t i = 0; i < count; ++i)
        system[i] = H(handles[i]);
    return WaitForMultipleObjects(count, system.data(), waitAll, milliseconds);
}

bool SetupQueues(THandle device, std::uint32_t inQueue, std::uint32_t outQueue) {
    return SetupComm(H(device), inQueue, outQueue) != 0;
}

bool SetLineState(THandle device, const TDCB& dcb) {
    // Starting from the line's own block keeps the fields the platform's block has no
    // member for as the driver set them.
    DCB system{};
    system.DCBlength = sizeof system;
    if (!GetCommState(H(device), &system))
        return false;
    system.DCBlength = sizeof system;
    system.BaudRate = dcb.BaudRate;
    system.fBinary = dcb.fBinary;
    system.fParity = dcb.fParity;
    system.fOutxCtsFlow = dcb.fOutxCtsFlow;
    system.fOutxDsrFlow = dcb.fOutxDsrFlow;
    system.fDtrControl = dcb.fDtrControl;
    system.fDsrSensitivity = dcb.fDsrSensitivity;
    system.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
    system.fOutX = dcb.fOutX;
    system.fInX = dcb.fInX;
    system.fErrorChar = dcb.fErrorChar;
    system.fNull = dcb.fNull;
    system.fRtsControl = dcb.fRtsControl;
    system.fAbortOnError = dcb.fAbortOnError;
    system.XonLim = dcb.XonLim;
    system.XoffLim = dcb.XoffLim;
    system.ByteSize = dcb.ByteSize;
    system.Parity = dcb.Parity;
    system.StopBits = dcb.StopBits;
    system.XonChar = dcb.XonChar;
    system.XoffChar = dcb.XoffChar;
    system.ErrorChar = dcb.ErrorChar;
    system.EofChar = dcb.EofChar;
    system.EvtChar = dcb.EvtChar;
    return SetCommState(H(device), &system) != 0;
}

bool GetLineState(THandle device, TDCB& dcb) {
    DCB system{};
    system.DCBlength = sizeof system;
    if (!GetCommState(H(device), &system))
        return false;
    dcb.DCBlength = system.DCBlength;
    dcb.BaudRate = system.BaudRate;
    dcb.fBinary = system.fBinary;
    dcb.fParity = system.fParity;
    dcb.fOutxCtsFlow = system.fOutxCtsFlow;
    dcb.fOutxDsrFlow = system.fOutxDsrFlow;
    dcb.fDtrControl = system.fDtrControl;
    dcb.fDsrSensitivity = system.fDsrSensitivity;
    dcb.fTXContinueOnXoff = system.fTXContinueOnXoff;
    dcb.fOutX = system.fOutX;
    dcb.fInX = system.fInX;
    dcb.fErrorChar = system.fErrorChar;
    dcb.fNull = system.fNull;
    dcb.fRtsControl = system.fRtsControl;
    dcb.fAbortOnError = system.fAbortOnError;
    dcb.XonLim = system.XonLim;
    dcb.XoffLim = system.XoffLim;
    dcb.ByteSize = system.ByteSize;
    dcb.Parity = system.Parity;
    dcb.StopBits = system.StopBits;
    dcb.XonChar = system.XonChar;
    dcb.XoffChar = system.XoffChar;
    dcb.ErrorChar = system.ErrorChar;
    dcb.EofChar = system.EofChar;
    dcb.EvtChar = system.EvtChar;
    return true;
}

bool SetLineTimeouts(THandle device, const TCommTimeouts& timeouts) {
    COMMTIMEOUTS system{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                        timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                        timeouts.WriteTotalTimeoutConstant};
    return SetCommTimeouts(H(device), &system) != 0;
}

bool Read(THandle device, void* buffer, std::uint32_t count, std::uint32_t* bytesRead,
          TOverlapped* overlapped) {
    return ReadFile(H(device), buffer, count, D(bytesRead), O(overlapped)) != 0;
}

bool Write(THandle device, const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
           TOverlapped* overlapped) {
    return WriteFile(H(device), buffer, count, D(bytesWritten), O(overlapped)) != 0;
}

bool OverlappedResult(THandle device, TOverlapped* overlapped, std::uint32_t* bytesTransferred,
                      bool wait) {
    return GetOverlappedResult(H(device), O(overlapped), D(bytesTransferred), wait) != 0;
}

bool Purge(THandle device, std::uint32_t flags) {
    return PurgeComm(H(device), flags) != 0;
}

bool ClearErrors(THandle device, std::uint32_t* errors, TComStat* stat) {
    COMSTAT system{};
    if (!ClearCommError(H(device), D(errors), stat != nullptr ? &system : nullptr))
        return false;
    if (stat != nullptr) {
        // The flag bits share one 32-bit word, in the same order in both records.
        std::memcpy(&stat->Flags, &system, sizeof stat->Flags);
        stat->cbInQue = system.cbInQue;
        stat->cbOutQue = system.cbOutQue;
    }
    return true;
}

bool ModemStatus(THandle device, std::uint32_t* modemStatus) {
    return GetCommModemStatus(H(device), D(modemStatus)) != 0;
}

bool SetEventMask(THandle device, std::uint32_t mask) {
    return SetCommMask(H(device), mask) != 0;
}

bool WaitLineEvent(THandle device, std::uint32_t* mask, TOverlapped* overlapped) {
    return WaitCommEvent(H(device), D(mask), O(overlapped)) != 0;
}

void SleepFor(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

std::uint32_t LastError() {
    return GetLastError();
}

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace serial::kernel32
