// Parts of the serial platform that do not depend on the device: event objects, the waits
// on them, the state of overlapped blocks and the per-thread last error. Device-specific
// platforms derive from it.
#pragma once

#include "ComPlatform.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

namespace serial {

class ComPlatformBase : public ComPlatform {
public:
    bool CloseHandle(THandle handle) override;
    THandle CreateEvent(bool manualReset, bool initialState) override;
    bool SetEvent(THandle event) override;
    bool ResetEvent(THandle event) override;
    std::uint32_t WaitForSingleObject(THandle handle, std::uint32_t milliseconds) override;
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const THandle* handles, bool waitAll,
                                         std::uint32_t milliseconds) override;
    bool GetOverlappedResult(THandle device, TOverlapped* overlapped,
                             std::uint32_t* bytesTransferred, bool wait) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t GetLastError() override;

protected:
    // Records the error of the failing call for GetLastError and returns false, so that a
    // call can end with `return Fail(code);`.
    static bool Fail(std::uint32_t code);
    static void SetLastError(std::uint32_t code);

    THandle NewHandle() { return nextHandle_.fetch_add(1); }
    virtual bool IsDevice(THandle handle) = 0;
    virtual bool CloseDevice(THandle handle) = 0;

    // Starts an overlapped operation: the block reads as pending and its event is reset.
    void MarkPending(TOverlapped* overlapped);
    // Ends an overlapped operation with a status (0 or an error code) and a byte count, then
    // signals its event.
    void Complete(TOverlapped* overlapped, std::uint32_t status, std::uint32_t bytes);

private:
    // One thread inside a wait; the events it waits on wake it alone.
    struct Waiter {
        std::condition_variable wake;
    };
    struct Event {
        bool manualReset = true;
        bool signalled = false;
        std::vector<Waiter*> waiters;
    };
    bool IsSignalledLocked(THandle handle, bool& known);
    // SetEvent and ResetEvent: a set event wakes the threads that wait on it.
    bool SetSignalled(THandle event, bool signalled);

    std::atomic<THandle> nextHandle_{0x100};
    std::mutex eventsMutex_;
    std::map<THandle, Event> events_;
    std::mutex overlappedMutex_;
};

} // namespace serial
