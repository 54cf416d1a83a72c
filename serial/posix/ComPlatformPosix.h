// The serial platform over POSIX terminal devices. "COMn" names /dev/ttyS(n-1), a name
// beginning with "/" is a device path; devices are opened exclusively. Every call on a
// device goes through the system-call interface it is given: the kernel's by default.
#pragma once

#include "ComPlatformBase.h"
#include "posix/PosixSys.h"

#include <map>
#include <memory>
#include <mutex>

namespace serial {

class PosixDevice;

class ComPlatformPosix : public ComPlatformBase {
public:
    explicit ComPlatformPosix(PosixSys& sys = KernelSys()) : sys_(sys) {}
    ~ComPlatformPosix() override;

    THandle CreateFile(const std::string& deviceName) override;
    bool CloseHandle(THandle handle) override;
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
    // A wait for the event of a pending read serves the device in the waiting thread.
    std::uint32_t WaitForSingleObject(THandle handle, std::uint32_t milliseconds) override;
    // Waits that do not help a read along first hand new read deadlines to the devices.
    std::uint32_t WaitForMultipleObjects(std::uint32_t count, const THandle* handles, bool waitAll,
                                         std::uint32_t milliseconds) override;
    bool GetOverlappedResult(THandle device, TOverlapped* overlapped,
                             std::uint32_t* bytesTransferred, bool wait) override;

    // The device path a port name stands for; empty when the name names no device.
    static std::string DevicePath(const std::string& deviceName);

protected:
    bool IsDevice(THandle handle) override;
    bool CloseDevice(THandle handle) override;

private:
    std::shared_ptr<PosixDevice> Find(THandle handle);
    static bool Result(std::uint32_t code);
    // A call on an open device: the device's own code, or ERROR_INVALID_HANDLE.
    template <typename Call> bool OnDevice(THandle device, Call call);

    struct PendingRead {
        std::weak_ptr<PosixDevice> device;
        TOverlapped* overlapped;
    };
    void ForgetPendingRead(THandle event);
    void KickServices();

    PosixSys& sys_;
    std::mutex mutex_;
    std::map<THandle, std::shared_ptr<PosixDevice>> devices_;
    // Reads that went pending, by their event, for the waits that help them along.
    std::map<THandle, PendingRead> pendingReads_;
};

} // namespace serial
