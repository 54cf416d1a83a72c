// The kernel32 calls the Windows serial platform forwards to, under names of their own:
// <windows.h> defines most of the platform's vocabulary as macros (CreateFile, CreateEvent,
// EV_RXCHAR, INVALID_HANDLE_VALUE ...), so only Kernel32.cpp includes it. The records are
// the platform's, which have the layout of (TOverlapped, TCommTimeouts) or are copied into
// (TDCB, TComStat) the system's own.
#pragma once

#include "ComPlatform.h"

#include <cstdint>
#include <string>

namespace serial::kernel32 {

// CreateFileA for reading and writing, not shared, overlapped; INVALID_HANDLE_VALUE on
// failure.
THandle OpenDevice(const std::string& path);
bool Close(THandle handle);

// CreateEventA without a name; 0 on failure.
THandle NewEvent(bool manualReset, bool initialState);
bool Signal(THandle event);
bool Unsignal(THandle event);
std::uint32_t WaitOne(THandle handle, std::uint32_t milliseconds);
std::uint32_t WaitAny(std::uint32_t count, const THandle* handles, bool waitAll,
                      std::uint32_t milliseconds);

bool SetupQueues(THandle device, std::uint32_t inQueue, std::uint32_t outQueue);
// GetCommState, then SetCommState with every field of the block copied in.
bool SetLineState(THandle device, const TDCB& dcb);
// GetCommState read back into the platform's block; for tests and diagnostics.
bool GetLineState(THandle device, TDCB& dcb);
bool SetLineTimeouts(THandle device, const TCommTimeouts& timeouts);

bool Read(THandle device, void* buffer, std::uint32_t count, std::uint32_t* bytesRead,
          TOverlapped* overlapped);
bool Write(THandle device, const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
           TOverlapped* overlapped);
bool OverlappedResult(THandle device, TOverlapped* overlapped, std::uint32_t* bytesTransferred,
                      bool wait);

bool Purge(THandle device, std::uint32_t flags);
bool ClearErrors(THandle device, std::uint32_t* errors, TComStat* stat);
bool ModemStatus(THandle device, std::uint32_t* modemStatus);
bool SetEventMask(THandle device, std::uint32_t mask);
bool WaitLineEvent(THandle device, std::uint32_t* mask, TOverlapped* overlapped);

void SleepFor(std::uint32_t milliseconds);
std::uint32_t LastError();

// True when the program runs under wine rather than on Windows, whose serial layer differs
// from Windows' in a few known ways (serial/README.md).
bool RunningUnderWine();

} // namespace serial::kernel32
