#include "ScriptedComPlatform.h"

#include "ComErrorCodes.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

namespace serial {

void ScriptedComPlatform::AddDevice(const std::string& name) {
    std::lock_guard lock(mutex_);
    names_.insert(name);
}

void ScriptedComPlatform::FailCall(const std::string& call, std::uint32_t code) {
    std::lock_guard lock(mutex_);
    failures_[call] = code;
}

void ScriptedComPlatform::CallSucceeds(const std::string& call) {
    std::lock_guard lock(mutex_);
    failures_.erase(call);
}

void ScriptedComPlatform::DelayCompletions(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    completionDelay_ = delay;
}

bool ScriptedComPlatform::Refused(const char* call) {
    std::uint32_t error = 0;
    if (faults_.Strikes(call, error)) {
        SetLastError(error);
        return true;
    }
    std::lock_guard lock(mutex_);
    auto failure = failures_.find(call);
    if (failure == failures_.end())
        return false;
    SetLastError(failure->second);
    return true;
}

void ScriptedComPlatform::CompleteWaits(
    const std::vector<std::pair<TOverlapped*, std::uint32_t>>& done) {
    if (done.empty())
        return;
    std::chrono::milliseconds delay{0};
    {
        std::lock_guard lock(mutex_);
        delay = completionDelay_;
    }
    inFlight_ += static_cast<int>(done.size());
    if (delay.count() > 0)
        std::this_thread::sleep_for(delay);
    for (auto [overlapped, status] : done) {
        // Counted out first: the block's event, set last, lets its owner go on at once.
        --inFlight_;
        Complete(overlapped, status, 0);
    }
}

void ScriptedComPlatform::FeedInput(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    input_ += bytes;
}

std::string ScriptedComPlatform::TakeOutput() {
    std::lock_guard lock(mutex_);
    return std::exchange(output_, {});
}

void ScriptedComPlatform::SetModemStatus(std::uint32_t status) {
    std::lock_guard lock(mutex_);
    modemStatus_ = status;
}

void ScriptedComPlatform::SetLineErrors(std::uint32_t errors) {
    std::lock_guard lock(mutex_);
    lineErrors_ = errors;
}

void ScriptedComPlatform::SetOutputQueued(std::uint32_t count) {
    std::lock_guard lock(mutex_);
    outputQueued_ = count;
}

void ScriptedComPlatform::CompleteWaitLocked(
    std::vector<std::pair<TOverlapped*, std::uint32_t>>& done) {
    if (waitOverlapped_ == nullptr || history_ == 0)
        return;
    *waitMask_ = history_;
    history_ = 0;
    done.emplace_back(waitOverlapped_, ERROR_SUCCESS);
    waitOverlapped_ = nullptr;
    waitMask_ = nullptr;
}

void ScriptedComPlatform::RaiseEvents(std::uint32_t mask) {
    std::vector<std::pair<TOverlapped*, std::uint32_t>> done;
    {
        std::lock_guard lock(mutex_);
        history_ |= mask & commMask_;
        CompleteWaitLocked(done);
    }
    CompleteWaits(done);
}

void ScriptedComPlatform::HoldRequests(bool hold) {
    std::lock_guard lock(mutex_);
    hold_ = hold;
}

std::uint32_t ScriptedComPlatform::ReadNow(char* buffer, std::uint32_t count) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(count, input_.size()));
    std::memcpy(buffer, input_.data(), n);
    input_.erase(0, n);
    return n;
}

void ScriptedComPlatform::ReleaseHeld() {
    std::vector<std::pair<TOverlapped*, std::uint32_t>> done;
    {
        std::lock_guard lock(mutex_);
        for (Pending& p : held_) {
            if (p.read) {
                done.emplace_back(p.overlapped, ReadNow(p.buffer, p.count));
            } else {
                output_ += p.data;
                done.emplace_back(p.overlapped, p.count);
            }
        }
        held_.clear();
    }
    for (auto [overlapped, bytes] : done)
        Complete(overlapped, ERROR_SUCCESS, bytes);
}

std::vector<std::string> ScriptedComPlatform::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void ScriptedComPlatform::ClearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

TDCB ScriptedComPlatform::LastDCB() const {
    std::lock_guard lock(mutex_);
    return lastDcb_;
}

TCommTimeouts ScriptedComPlatform::LastTimeouts() const {
    std::lock_guard lock(mutex_);
    return lastTimeouts_;
}

std::uint32_t ScriptedComPlatform::CommMask() const {
    std::lock_guard lock(mutex_);
    return commMask_;
}

bool ScriptedComPlatform::WaitPending() const {
    std::lock_guard lock(mutex_);
    return waitOverlapped_ != nullptr;
}

bool ScriptedComPlatform::IsOpen(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return std::any_of(open_.begin(), open_.end(), [&](const auto& e) { return e.second == name; });
}

bool ScriptedComPlatform::Begin(const std::string& call, const std::string& record,
                                THandle device) {
    std::uint32_t error = 0;
    const bool struck = faults_.Strikes(call.c_str(), error);
    std::lock_guard lock(mutex_);
    calls_.push_back(record);
    if (struck)
        return Fail(error);
    if (open_.count(device) == 0)
        return Fail(ERROR_INVALID_HANDLE);
    auto failure = failures_.find(call);
    if (failure != failures_.end())
        return Fail(failure->second);
    return true;
}

bool ScriptedComPlatform::IsDevice(THandle handle) {
    std::lock_guard lock(mutex_);
    return open_.count(handle) != 0;
}

THandle ScriptedComPlatform::CreateFile(const std::string& deviceName) {
    std::uint32_t error = 0;
    const bool struck = faults_.Strikes("CreateFile", error);
    std::lock_guard lock(mutex_);
    calls_.push_back("CreateFile(" + deviceName + ")");
    if (struck) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto failure = failures_.find("CreateFile");
    if (failure != failures_.end()) {
        SetLastError(failure->second);
        return INVALID_HANDLE_VALUE;
    }
    if (names_.count(deviceName) == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool busy = std::any_of(open_.begin(), open_.end(),
                                  [&](const auto& e) { return e.second == deviceName; });
    if (busy) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const THandle handle = NewHandle();
    open_[handle] = deviceName;
    commMask_ = 0;
    history_ = 0;
    return handle;
}

bool ScriptedComPlatform::CloseDevice(THandle handle) {
    std::vector<TOverlapped*> aborted;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back("CloseHandle(device)");
        open_.erase(handle);
        for (Pending& p : held_)
            aborted.push_back(p.overlapped);
        held_.clear();
        if (waitOverlapped_ != nullptr)
            aborted.push_back(std::exchange(waitOverlapped_, nullptr));
    }
    for (TOverlapped* overlapped : aborted)
        Complete(overlapped, ERROR_OPERATION_ABORTED, 0);
    return true;
}

bool ScriptedComPlatform::SetupComm(THandle device, std::uint32_t inQueue, std::uint32_t outQueue) {
    return Begin("SetupComm",
                 "SetupComm(" + std::to_string(inQueue) + "," + std::to_string(outQueue) + ")",
                 device);
}

bool ScriptedComPlatform::SetCommState(THandle device, const TDCB& dcb) {
    if (!Begin("SetCommState", "SetCommState(" + std::to_string(dcb.BaudRate) + ")", device))
        return false;
    std::lock_guard lock(mutex_);
    lastDcb_ = dcb;
    return true;
}

bool ScriptedComPlatform::SetCommTimeouts(THandle device, const TCommTimeouts& timeouts) {
    if (!Begin("SetCommTimeouts", "SetCommTimeouts", device))
        return false;
    std::lock_guard lock(mutex_);
    lastTimeouts_ = timeouts;
    return true;
}

bool ScriptedComPlatform::ReadFile(THandle device, void* buffer, std::uint32_t count,
                                   std::uint32_t* bytesRead, TOverlapped* overlapped) {
    // As the system does, the block is marked pending before the driver is asked, and stays so
    // when the driver refuses the read.
    MarkPending(overlapped);
    if (!Begin("ReadFile", "ReadFile(" + std::to_string(count) + ")", device))
        return false;
    std::uint32_t n = 0;
    {
        std::lock_guard lock(mutex_);
        if (hold_) {
            held_.push_back(Pending{true, static_cast<char*>(buffer), {}, count, overlapped});
            return Fail(ERROR_IO_PENDING);
        }
        n = ReadNow(static_cast<char*>(buffer), count);
    }
    *bytesRead = n;
    Complete(overlapped, ERROR_SUCCESS, n);
    return true;
}

bool ScriptedComPlatform::WriteFile(THandle device, const void* buffer, std::uint32_t count,
                                    std::uint32_t* bytesWritten, TOverlapped* overlapped) {
    // Marked pending first, as ReadFile.
    MarkPending(overlapped);
    if (!Begin("WriteFile", "WriteFile(" + std::to_string(count) + ")", device))
        return false;
    const std::string data(static_cast<const char*>(buffer), count);
    {
        std::lock_guard lock(mutex_);
        if (hold_) {
            held_.push_back(Pending{false, nullptr, data, count, overlapped});
            return Fail(ERROR_IO_PENDING);
        }
        output_ += data;
    }
    *bytesWritten = count;
    Complete(overlapped, ERROR_SUCCESS, count);
    return true;
}

bool ScriptedComPlatform::PurgeComm(THandle device, std::uint32_t flags) {
    if (!Begin("PurgeComm", "PurgeComm(" + std::to_string(flags) + ")", device))
        return false;
    std::vector<TOverlapped*> aborted;
    {
        std::lock_guard lock(mutex_);
        auto ends = [&](const Pending& p) {
            return p.read ? (flags & PURGE_RXABORT) != 0 : (flags & PURGE_TXABORT) != 0;
        };
        for (const Pending& p : held_)
            if (ends(p))
                aborted.push_back(p.overlapped);
        std::erase_if(held_, ends);
        if (flags & PURGE_RXCLEAR)
            input_.clear();
        if (flags & PURGE_TXCLEAR)
            outputQueued_ = 0;
    }
    for (TOverlapped* overlapped : aborted)
        Complete(overlapped, ERROR_OPERATION_ABORTED, 0);
    return true;
}

bool ScriptedComPlatform::ClearCommError(THandle device, std::uint32_t* errors, TComStat* stat) {
    if (!Begin("ClearCommError", "ClearCommError", device))
        return false;
    std::lock_guard lock(mutex_);
    if (errors != nullptr)
        *errors = lineErrors_;
    lineErrors_ = 0;
    if (stat != nullptr) {
        stat->cbInQue = static_cast<std::uint32_t>(input_.size());
        stat->cbOutQue = outputQueued_;
    }
    return true;
}

bool ScriptedComPlatform::GetCommModemStatus(THandle device, std::uint32_t* modemStatus) {
    if (!Begin("GetCommModemStatus", "GetCommModemStatus", device))
        return false;
    std::lock_guard lock(mutex_);
    *modemStatus = modemStatus_;
    return true;
}

bool ScriptedComPlatform::SetCommMask(THandle device, std::uint32_t mask) {
    if (!Begin("SetCommMask", "SetCommMask(" + std::to_string(mask) + ")", device))
        return false;
    TOverlapped* ended = nullptr;
    {
        std::lock_guard lock(mutex_);
        commMask_ = mask;
        history_ = 0;
        if (waitOverlapped_ != nullptr) {
            *waitMask_ = 0;
            ended = std::exchange(waitOverlapped_, nullptr);
            waitMask_ = nullptr;
        }
    }
    if (ended != nullptr)
        Complete(ended, ERROR_SUCCESS, 0);
    return true;
}

bool ScriptedComPlatform::WaitCommEvent(THandle device, std::uint32_t* mask,
                                        TOverlapped* overlapped) {
    if (!Begin("WaitCommEvent", "WaitCommEvent", device)) {
        // A call refused at once leaves its event unsignalled, as the driver does.
        ResetEvent(overlapped->hEvent);
        return false;
    }
    MarkPending(overlapped);
    std::vector<std::pair<TOverlapped*, std::uint32_t>> done;
    {
        std::lock_guard lock(mutex_);
        waitMask_ = mask;
        waitOverlapped_ = overlapped;
        CompleteWaitLocked(done);
    }
    CompleteWaits(done);
    if (done.empty())
        return Fail(ERROR_IO_PENDING);
    return true;
}

void ScriptedComPlatform::RecordEventCalls(bool on) {
    std::lock_guard lock(mutex_);
    recordEvents_ = on;
}

void ScriptedComPlatform::RecordEventCall(const std::string& record) {
    std::lock_guard lock(mutex_);
    if (recordEvents_)
        calls_.push_back(record);
}

bool ScriptedComPlatform::CloseHandle(THandle handle) {
    if (!IsDevice(handle))
        RecordEventCall("CloseHandle(event)");
    const bool refused = Refused("CloseHandle");
    const std::uint32_t error = GetLastError();
    const bool closed = ComPlatformBase::CloseHandle(handle);
    return refused ? Fail(error) : closed;
}

THandle ScriptedComPlatform::CreateEvent(bool manualReset, bool initialState) {
    RecordEventCall("CreateEvent");
    if (Refused("CreateEvent"))
        return 0;
    return ComPlatformBase::CreateEvent(manualReset, initialState);
}

bool ScriptedComPlatform::SetEvent(THandle event) {
    RecordEventCall("SetEvent");
    if (Refused("SetEvent"))
        return false;
    return ComPlatformBase::SetEvent(event);
}

bool ScriptedComPlatform::ResetEvent(THandle event) {
    RecordEventCall("ResetEvent");
    if (Refused("ResetEvent"))
        return false;
    return ComPlatformBase::ResetEvent(event);
}

std::uint32_t ScriptedComPlatform::WaitForSingleObject(THandle handle, std::uint32_t milliseconds) {
    RecordEventCall("WaitForSingleObject");
    if (Refused("WaitForSingleObject"))
        return WAIT_FAILED;
    return ComPlatformBase::WaitForMultipleObjects(1, &handle, false, milliseconds);
}

std::uint32_t ScriptedComPlatform::WaitForMultipleObjects(std::uint32_t count,
                                                          const THandle* handles, bool waitAll,
                                                          std::uint32_t milliseconds) {
    RecordEventCall("WaitForMultipleObjects");
    if (Refused("WaitForMultipleObjects"))
        return WAIT_FAILED;
    return ComPlatformBase::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
}

bool ScriptedComPlatform::GetOverlappedResult(THandle device, TOverlapped* overlapped,
                                              std::uint32_t* bytesTransferred, bool wait) {
    RecordEventCall("GetOverlappedResult");
    if (Refused("GetOverlappedResult"))
        return false;
    return ComPlatformBase::GetOverlappedResult(device, overlapped, bytesTransferred, wait);
}

} // namespace serial
