// An in-memory serial platform for tests: devices that exist by name, bytes fed in and
// taken out, modem lines, line errors and events set by the test, calls that fail with a
// chosen error code, and a record of every device call in order.
#pragma once

#include "CallFault.h"
#include "ComPlatformBase.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace serial {

class ScriptedComPlatform : public ComPlatformBase {
public:
    // --- Script ----------------------------------------------------------------------------
    void AddDevice(const std::string& name);
    // Every later call of that name fails with the code until CallSucceeds.
    void FailCall(const std::string& call, std::uint32_t code);
    void CallSucceeds(const std::string& call);
    // Counts the calls of the calling thread from now on and fails the nth (see CallFault).
    // A failed CloseHandle still releases the handle, as a close that reports an error does.
    CallFault& Faults() { return faults_; }
    // The driver takes a line event's wait block, then lets this time pass before it writes
    // the result into it: a completion in flight that a test can race against.
    void DelayCompletions(std::chrono::milliseconds delay);
    // Wait blocks taken by the driver and not yet written.
    int CompletionsInFlight() const { return inFlight_; }
    // Bytes the line has received, queued for reads.
    void FeedInput(const std::string& bytes);
    // Every byte written so far, in order; taken out of the record.
    std::string TakeOutput();
    void SetModemStatus(std::uint32_t status);
    // Error word that the next ClearCommError reports and clears.
    void SetLineErrors(std::uint32_t errors);
    void SetOutputQueued(std::uint32_t count);
    // The driver reports these events (only those in the armed mask count).
    void RaiseEvents(std::uint32_t mask);
    // Held reads and writes stay pending until released or aborted.
    void HoldRequests(bool hold);
    // Ends held requests: reads with what is queued, writes with every byte taken.
    void ReleaseHeld();

    // --- Record ----------------------------------------------------------------------------
    // Device calls are always recorded; event calls (create, set, reset, waits, results,
    // closing an event) too once this is on.
    void RecordEventCalls(bool on);
    std::vector<std::string> Calls() const;
    void ClearCalls();
    TDCB LastDCB() const;
    TCommTimeouts LastTimeouts() const;
    std::uint32_t CommMask() const;
    bool WaitPending() const;
    bool IsOpen(const std::string& name) const;

    // --- Platform --------------------------------------------------------------------------
    THandle CreateFile(const std::string& deviceName) override;
    bool SetupComm(THandle device, std::uint32_t inQueue, std::uint32_t outQueue) override;
    bool SetCommState(THandle device, const TDCB& dcb) override;
    bool SetCommTimeouts(THandle device, const TCommTimeouts& timeouts) override;
    bool ReadFile(THandle device, void* buffer, std::uint32_t count, std::uint32_t* bytesRead,
                  TOverlapped* overlapped) override;
    bool WriteFile(THandle device, const void* buffer, std::uint32_t count,
                   std::uint32_t* bytesWritten, TOverlapped* overlapped) override;
    bool PurgeComm(THandle device, std::uint32_t flags) override;
    bool ClearCommError(THandle device, std::uint32_t* errors, TComStat* stat) override;
    bool GetCommModemStatus(THandle device, std::uint32_t* modemStatus) override;
    bool SetCommMask(THandle device, std::uint32_t mask) override;
    bool WaitCommEvent(THandle device, std::uint32_t* mask, TOverlapped* overlapped) override;
    bool CloseHandle(THandle handle) override;
    THandle CreateEvent(bool manualReset, bool initialState) override;
    bool SetEvent(THandle event) override;
    bool ResetEvent(THandle event) override;
    std::uint32_t WaitForSingleObject(THandle handle, std::uint32_t milliseconds) override;
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const THandle* handles, bool waitAll,
                                         std::uint32_t milliseconds) override;
    bool GetOverlappedResult(THandle device, TOverlapped* overlapped,
                             std::uint32_t* bytesTransferred, bool wait) override;

protected:
    bool IsDevice(THandle handle) override;
    bool CloseDevice(THandle handle) override;

private:
    struct Pending {
        bool read = false;
        char* buffer = nullptr;
        std::string data;
        std::uint32_t count = 0;
        TOverlapped* overlapped = nullptr;
    };
    // Starts a call: records it and says whether it may go on (the device is open and the
    // call is not scripted to fail); on refusal the error is set.
    bool Begin(const std::string& call, const std::string& record, THandle device);
    // Fault injection and scripted failures of calls that take no device; true when the
    // call must fail, with its error set.
    bool Refused(const char* call);
    void CompleteWaits(const std::vector<std::pair<TOverlapped*, std::uint32_t>>& done);
    std::uint32_t ReadNow(char* buffer, std::uint32_t count);
    void RecordEventCall(const std::string& record);
    void CompleteWaitLocked(std::vector<std::pair<TOverlapped*, std::uint32_t>>& done);

    mutable std::mutex mutex_;
    std::set<std::string> names_;
    std::map<THandle, std::string> open_;
    std::map<std::string, std::uint32_t> failures_;
    std::vector<std::string> calls_;
    std::string input_;
    std::string output_;
    std::uint32_t modemStatus_ = 0;
    std::uint32_t lineErrors_ = 0;
    std::uint32_t outputQueued_ = 0;
    std::uint32_t commMask_ = 0;
    std::uint32_t history_ = 0;
    std::uint32_t* waitMask_ = nullptr;
    TOverlapped* waitOverlapped_ = nullptr;
    bool hold_ = false;
    bool recordEvents_ = false;
    std::deque<Pending> held_;
    CallFault faults_;
    std::chrono::milliseconds completionDelay_{0};
    std::atomic<int> inFlight_{0};
    TDCB lastDcb_;
    TCommTimeouts lastTimeouts_;
};

} // namespace serial
