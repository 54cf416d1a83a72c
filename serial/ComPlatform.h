// The operating-system calls the serial port component is built on, shaped like the
// Windows communications API so that a native Windows implementation can forward each call
// unchanged. Every call reports failure through its result and leaves an error code from
// the table in ComErrorCodes.h for GetLastError on the calling thread.
#pragma once

#include "serial/ComHandle.h"

#include <cstdint>
#include <string>

namespace serial {

inline constexpr THandle INVALID_HANDLE_VALUE = -1;
inline constexpr std::uint32_t INFINITE = 0xFFFFFFFFu;
inline constexpr std::uint32_t MAXDWORD = 0xFFFFFFFFu;

inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT = 258;
inline constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFFu;

// Device control block: one field per member of the Windows record; the bit fields are
// plain integers here.
struct TDCB {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t fBinary = 0;
    std::uint32_t fParity = 0;
    std::uint32_t fOutxCtsFlow = 0;
    std::uint32_t fOutxDsrFlow = 0;
    std::uint32_t fDtrControl = 0;
    std::uint32_t fDsrSensitivity = 0;
    std::uint32_t fTXContinueOnXoff = 0;
    std::uint32_t fOutX = 0;
    std::uint32_t fInX = 0;
    std::uint32_t fErrorChar = 0;
    std::uint32_t fNull = 0;
    std::uint32_t fRtsControl = 0;
    std::uint32_t fAbortOnError = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    bool operator==(const TDCB&) const = default;
};

inline constexpr std::uint32_t DTR_CONTROL_DISABLE = 0;
inline constexpr std::uint32_t DTR_CONTROL_ENABLE = 1;
inline constexpr std::uint32_t DTR_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint32_t RTS_CONTROL_DISABLE = 0;
inline constexpr std::uint32_t RTS_CONTROL_ENABLE = 1;
inline constexpr std::uint32_t RTS_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint32_t RTS_CONTROL_TOGGLE = 3;
inline constexpr std::uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3,
                              SPACEPARITY = 4;
inline constexpr std::uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const TCommTimeouts&) const = default;
};

struct TComStat {
    std::uint32_t Flags = 0;
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};

// Block of one overlapped operation. Internal holds the operation's state: 0 when it ended
// well, ERROR_IO_PENDING while it runs, otherwise the error code it ended with;
// InternalHigh holds the bytes transferred. Only the platform touches these two.
struct TOverlapped {
    std::uint64_t Internal = 0;
    std::uint64_t InternalHigh = 0;
    std::uint32_t Offset = 0;
    std::uint32_t OffsetHigh = 0;
    THandle hEvent = 0;
};

inline constexpr std::uint32_t PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;
inline constexpr std::uint32_t CE_TXFULL = 0x0100;
inline constexpr std::uint32_t CE_IOE = 0x0400;
inline constexpr std::uint32_t CE_MODE = 0x8000;

inline constexpr std::uint32_t MS_CTS_ON = 0x0010;
inline constexpr std::uint32_t MS_DSR_ON = 0x0020;
inline constexpr std::uint32_t MS_RING_ON = 0x0040;
inline constexpr std::uint32_t MS_RLSD_ON = 0x0080;

inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;

class ComPlatform {
public:
    virtual ~ComPlatform() = default;

    // Opens a serial device exclusively for reading and writing in overlapped mode.
    virtual THandle CreateFile(const std::string& deviceName) = 0;
    // Closes a device or an event.
    virtual bool CloseHandle(THandle handle) = 0;

    virtual THandle CreateEvent(bool manualReset, bool initialState) = 0;
    virtual bool SetEvent(THandle event) = 0;
    virtual bool ResetEvent(THandle event) = 0;
    virtual std::uint32_t WaitForSingleObject(THandle handle, std::uint32_t milliseconds) = 0;
    // Waits until any one of the objects is signalled; returns WAIT_OBJECT_0 + its index.
    virtual std::uint32_t WaitForMultipleObjects(std::uint32_t count, const THandle* handles,
                                                 bool waitAll, std::uint32_t milliseconds) = 0;

    virtual bool SetupComm(THandle device, std::uint32_t inQueue, std::uint32_t outQueue) = 0;
    virtual bool SetCommState(THandle device, const TDCB& dcb) = 0;
    virtual bool SetCommTimeouts(THandle device, const TCommTimeouts& timeouts) = 0;

    virtual bool ReadFile(THandle device, void* buffer, std::uint32_t count,
                          std::uint32_t* bytesRead, TOverlapped* overlapped) = 0;
    virtual bool WriteFile(THandle device, const void* buffer, std::uint32_t count,
                           std::uint32_t* bytesWritten, TOverlapped* overlapped) = 0;
    virtual bool GetOverlappedResult(THandle device, TOverlapped* overlapped,
                                     std::uint32_t* bytesTransferred, bool wait) = 0;

    virtual bool PurgeComm(THandle device, std::uint32_t flags) = 0;
    virtual bool ClearCommError(THandle device, std::uint32_t* errors, TComStat* stat) = 0;
    virtual bool GetCommModemStatus(THandle device, std::uint32_t* modemStatus) = 0;
    virtual bool SetCommMask(THandle device, std::uint32_t mask) = 0;
    virtual bool WaitCommEvent(THandle device, std::uint32_t* mask, TOverlapped* overlapped) = 0;

    // Gives up the rest of the calling thread's time slice (a zero-length sleep).
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    virtual std::uint32_t GetLastError() = 0;
};

// The platform of the system the program runs on; lives for the whole process.
ComPlatform& SystemComPlatform();

} // namespace serial
