#include "ComPlatformBase.h"

#include "ComErrorCodes.h"

#include <chrono>
#include <thread>
#include <vector>

namespace serial {

namespace {
thread_local std::uint32_t lastError = ERROR_SUCCESS;
}

bool ComPlatformBase::Fail(std::uint32_t code) {
    lastError = code;
    return false;
}

void ComPlatformBase::SetLastError(std::uint32_t code) {
    lastError = code;
}

std::uint32_t ComPlatformBase::GetLastError() {
    return lastError;
}

void ComPlatformBase::Sleep(std::uint32_t milliseconds) {
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool ComPlatformBase::CloseHandle(THandle handle) {
    {
        std::lock_guard lock(eventsMutex_);
        auto it = events_.find(handle);
        if (it != events_.end()) {
            // A thread still waiting on it learns that it is gone.
            for (Waiter* waiter : it->second.waiters)
                waiter->wake.notify_one();
            events_.erase(it);
            return true;
        }
    }
    if (IsDevice(handle))
        return CloseDevice(handle);
    return Fail(ERROR_INVALID_HANDLE);
}

THandle ComPlatformBase::CreateEvent(bool manualReset, bool initialState) {
    THandle handle = NewHandle();
    std::lock_guard lock(eventsMutex_);
    Event& event = events_[handle];
    event.manualReset = manualReset;
    event.signalled = initialState;
    return handle;
}

bool ComPlatformBase::SetEvent(THandle event) {
    return SetSignalled(event, true);
}

bool ComPlatformBase::ResetEvent(THandle event) {
    return SetSignalled(event, false);
}

bool ComPlatformBase::SetSignalled(THandle event, bool signalled) {
    std::lock_guard lock(eventsMutex_);
    auto it = events_.find(event);
    if (it == events_.end())
        return Fail(ERROR_INVALID_HANDLE);
    it->second.signalled = signalled;
    if (signalled) {
        for (Waiter* waiter : it->second.waiters)
            waiter->wake.notify_one();
    }
    return true;
}

bool ComPlatformBase::IsSignalledLocked(THandle handle, bool& known) {
    auto it = events_.find(handle);
    known = it != events_.end();
    if (!known || !it->second.signalled)
        return false;
    if (!it->second.manualReset)
        it->second.signalled = false;
    return true;
}

std::uint32_t ComPlatformBase::WaitForSingleObject(THandle handle, std::uint32_t milliseconds) {
    return WaitForMultipleObjects(1, &handle, false, milliseconds);
}

std::uint32_t ComPlatformBase::WaitForMultipleObjects(std::uint32_t count, const THandle* handles,
                                                      bool waitAll, std::uint32_t milliseconds) {
    if (count == 0 || handles == nullptr || waitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    Waiter waiter;
    std::unique_lock lock(eventsMutex_);
    auto enlist = [&](bool join) {
        for (std::uint32_t i = 0; i < count; ++i) {
            auto it = events_.find(handles[i]);
            if (it == events_.end())
                continue;
            auto& list = it->second.waiters;
            if (join)
                list.push_back(&waiter);
            else
                std::erase(list, &waiter);
        }
    };
    std::uint32_t result = WAIT_TIMEOUT;
    bool enlisted = false;
    for (;;) {
        bool unknown = false;
        for (std::uint32_t i = 0; i < count && result == WAIT_TIMEOUT; ++i) {
            bool known = false;
            if (IsSignalledLocked(handles[i], known))
                result = WAIT_OBJECT_0 + i;
            unknown = unknown || !known;
        }
        if (result == WAIT_TIMEOUT && unknown) {
            SetLastError(ERROR_INVALID_HANDLE);
            result = WAIT_FAILED;
        }
        if (result != WAIT_TIMEOUT || milliseconds == 0)
            break;
        if (!enlisted) {
            enlist(true);
            enlisted = true;
        }
        if (milliseconds == INFINITE)
            waiter.wake.wait(lock);
        else if (waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout &&
                 std::chrono::steady_clock::now() >= deadline) {
            for (std::uint32_t i = 0; i < count && result == WAIT_TIMEOUT; ++i) {
                bool known = false;
                if (IsSignalledLocked(handles[i], known))
                    result = WAIT_OBJECT_0 + i;
            }
            break;
        }
    }
    if (enlisted)
        enlist(false);
    return result;
}

void ComPlatformBase::MarkPending(TOverlapped* overlapped) {
    {
        std::lock_guard lock(overlappedMutex_);
        overlapped->Internal = ERROR_IO_PENDING;
        overlapped->InternalHigh = 0;
    }
    ComPlatformBase::ResetEvent(overlapped->hEvent);
}

void ComPlatformBase::Complete(TOverlapped* overlapped, std::uint32_t status, std::uint32_t bytes) {
    // Once the status is written the block's owner may free it: read the event first.
    const THandle event = overlapped->hEvent;
    {
        std::lock_guard lock(overlappedMutex_);
        overlapped->Internal = status;
        overlapped->InternalHigh = bytes;
    }
    ComPlatformBase::SetEvent(event);
}

bool ComPlatformBase::GetOverlappedResult(THandle device, TOverlapped* overlapped,
                                          std::uint32_t* bytesTransferred, bool wait) {
    if (!IsDevice(device))
        return Fail(ERROR_INVALID_HANDLE);
    if (overlapped == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    for (;;) {
        std::uint64_t status = 0;
        std::uint64_t bytes = 0;
        {
            std::lock_guard lock(overlappedMutex_);
            status = overlapped->Internal;
            bytes = overlapped->InternalHigh;
        }
        if (status == ERROR_IO_PENDING) {
            if (!wait)
                return Fail(ERROR_IO_INCOMPLETE);
            if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED)
                return false;
            continue;
        }
        if (bytesTransferred != nullptr)
            *bytesTransferred = static_cast<std::uint32_t>(bytes);
        if (status != ERROR_SUCCESS)
            return Fail(static_cast<std::uint32_t>(status));
        return true;
    }
}

} // namespace serial
