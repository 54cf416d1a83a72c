#include "posix/ComPlatformPosix.h"

#include "ComErrorCodes.h"
#include "posix/PosixDevice.h"
#include "posix/PosixErrors.h"
#include "serial/DevicePath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <vector>

namespace serial {
namespace {

// The system's calls take their out parameters optionally.
template <typename T> void CopyOut(T* out, const T& value) {
    if (out != nullptr)
        *out = value;
}

} // namespace

ComPlatformPosix::~ComPlatformPosix() {
    std::lock_guard lock(mutex_);
    devices_.clear();
}

std::string ComPlatformPosix::DevicePath(const std::string& deviceName) {
    if (deviceName.find('\0') != std::string::npos)
        return {};
    if (!deviceName.empty() && deviceName[0] == '/')
        return deviceName;
    std::string name = deviceName;
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    if (name.size() < 4 || name.size() > 7)
        return {};
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M')
        return {};
    unsigned number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return {};
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    if (number == 0 || name[3] == '0')
        return {};
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::string DevicePathFor(int n) {
    return n < 1 ? std::string() : ComPlatformPosix::DevicePath("COM" + std::to_string(n));
}

THandle ComPlatformPosix::CreateFile(const std::string& deviceName) {
    const std::string path = DevicePath(deviceName);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = sys_.Open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ErrnoToSystemError(errno));
        return INVALID_HANDLE_VALUE;
    }
    bool exclusive = false;
    auto refuse = [&](std::uint32_t error) {
        if (exclusive)
            sys_.SetExclusive(fd, false);
        sys_.Close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    };
    termios settings{};
    if (sys_.GetAttr(fd, settings) != 0)
        return refuse(ERROR_FILE_NOT_FOUND);
    // The lock keeps out every other opener that asks for one, whatever its rights; the
    // terminal's exclusive mode keeps out other programs that open the device plainly.
    if (sys_.Lock(fd) != 0)
        return refuse(ErrnoToSystemError(errno));
    exclusive = sys_.SetExclusive(fd, true) == 0;
    // A serial driver reports a port type. The node of a port with no UART behind it
    // (/dev/ttyS3 on most PCs) reports none and cannot even read its lines: no port there.
    // Some USB drivers leave the type unset on working ports; their lines read fine.
    int type = PORT_UNKNOWN;
    const bool serialDriver = sys_.PortType(fd, type) == 0;
    int lines = 0;
    if (serialDriver && type == PORT_UNKNOWN && sys_.ModemLines(fd, lines) != 0)
        return refuse(ERROR_FILE_NOT_FOUND);
    const THandle handle = NewHandle();
    auto device = std::make_shared<PosixDevice>(
        sys_, fd, serialDriver, [this](TOverlapped* ov) { MarkPending(ov); },
        [this](TOverlapped* ov, std::uint32_t status, std::uint32_t bytes) {
            Complete(ov, status, bytes);
        });
    std::lock_guard lock(mutex_);
    devices_[handle] = std::move(device);
    return handle;
}

std::shared_ptr<PosixDevice> ComPlatformPosix::Find(THandle handle) {
    std::lock_guard lock(mutex_);
    auto it = devices_.find(handle);
    return it == devices_.end() ? nullptr : it->second;
}

void ComPlatformPosix::ForgetPendingRead(THandle event) {
    std::lock_guard lock(mutex_);
    pendingReads_.erase(event);
}

std::uint32_t ComPlatformPosix::WaitForSingleObject(THandle handle, std::uint32_t milliseconds) {
    std::shared_ptr<PosixDevice> device;
    TOverlapped* overlapped = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = pendingReads_.find(handle);
        if (it != pendingReads_.end()) {
            device = it->second.device.lock();
            overlapped = it->second.overlapped;
            if (!device)
                pendingReads_.erase(it);
        }
    }
    bool timedOut = false;
    if (device && device->HelpRead(overlapped, milliseconds, timedOut))
        return timedOut ? WAIT_TIMEOUT : ComPlatformBase::WaitForSingleObject(handle, 0);
    KickServices();
    return ComPlatformBase::WaitForSingleObject(handle, milliseconds);
}

void ComPlatformPosix::KickServices() {
    std::vector<std::shared_ptr<PosixDevice>> devices;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [handle, device] : devices_)
            devices.push_back(device);
    }
    for (const auto& device : devices)
        device->KickService();
}

std::uint32_t ComPlatformPosix::WaitForMultipleObjects(std::uint32_t count, const THandle* handles,
                                                       bool waitAll, std::uint32_t milliseconds) {
    KickServices();
    return ComPlatformBase::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
}

bool ComPlatformPosix::GetOverlappedResult(THandle device, TOverlapped* overlapped,
                                           std::uint32_t* bytesTransferred, bool wait) {
    if (auto d = Find(device))
        d->KickService();
    return ComPlatformBase::GetOverlappedResult(device, overlapped, bytesTransferred, wait);
}

bool ComPlatformPosix::IsDevice(THandle handle) {
    return Find(handle) != nullptr;
}

bool ComPlatformPosix::CloseHandle(THandle handle) {
    ForgetPendingRead(handle);
    return ComPlatformBase::CloseHandle(handle);
}

bool ComPlatformPosix::CloseDevice(THandle handle) {
    std::shared_ptr<PosixDevice> device;
    {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(handle);
        if (it == devices_.end())
            return Fail(ERROR_INVALID_HANDLE);
        device = std::move(it->second);
        devices_.erase(it);
    }
    // Other threads still inside a call keep the device alive until they return; they
    // return at once now.
    device->Shutdown();
    device.reset();
    return true;
}

bool ComPlatformPosix::Result(std::uint32_t code) {
    if (code == ERROR_SUCCESS)
        return true;
    return Fail(code);
}

template <typename Call> bool ComPlatformPosix::OnDevice(THandle device, Call call) {
    auto d = Find(device);
    return d ? Result(call(*d)) : Fail(ERROR_INVALID_HANDLE);
}

bool ComPlatformPosix::SetupComm(THandle device, std::uint32_t inQueue, std::uint32_t outQueue) {
    return OnDevice(device, [&](PosixDevice& d) { return d.SetupComm(inQueue, outQueue); });
}

bool ComPlatformPosix::SetCommState(THandle device, const TDCB& dcb) {
    return OnDevice(device, [&](PosixDevice& d) { return d.SetCommState(dcb); });
}

bool ComPlatformPosix::SetCommTimeouts(THandle device, const TCommTimeouts& timeouts) {
    return OnDevice(device, [&](PosixDevice& d) { return d.SetCommTimeouts(timeouts); });
}

bool ComPlatformPosix::ReadFile(THandle device, void* buffer, std::uint32_t count,
                                std::uint32_t* bytesRead, TOverlapped* overlapped) {
    auto d = Find(device);
    if (!d || overlapped == nullptr)
        return Fail(d ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    std::uint32_t done = 0;
    const std::uint32_t code = d->Read(static_cast<char*>(buffer), count, done, overlapped);
    CopyOut(bytesRead, done);
    if (code == ERROR_IO_PENDING) {
        std::lock_guard lock(mutex_);
        pendingReads_[overlapped->hEvent] = PendingRead{d, overlapped};
    } else {
        ForgetPendingRead(overlapped->hEvent);
    }
    return Result(code);
}

bool ComPlatformPosix::WriteFile(THandle device, const void* buffer, std::uint32_t count,
                                 std::uint32_t* bytesWritten, TOverlapped* overlapped) {
    auto d = Find(device);
    if (!d || overlapped == nullptr)
        return Fail(d ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    std::uint32_t done = 0;
    const std::uint32_t code = d->Write(static_cast<const char*>(buffer), count, done, overlapped);
    CopyOut(bytesWritten, done);
    return Result(code);
}

bool ComPlatformPosix::PurgeComm(THandle device, std::uint32_t flags) {
    return OnDevice(device, [&](PosixDevice& d) { return d.Purge(flags); });
}

bool ComPlatformPosix::ClearCommError(THandle device, std::uint32_t* errors, TComStat* stat) {
    return OnDevice(device, [&](PosixDevice& d) {
        std::uint32_t word = 0;
        TComStat local;
        const std::uint32_t code = d.ClearError(word, local);
        CopyOut(errors, word);
        CopyOut(stat, local);
        return code;
    });
}

bool ComPlatformPosix::GetCommModemStatus(THandle device, std::uint32_t* modemStatus) {
    return OnDevice(device, [&](PosixDevice& d) {
        std::uint32_t status = 0;
        const std::uint32_t code = d.ModemStatus(status);
        CopyOut(modemStatus, status);
        return code;
    });
}

bool ComPlatformPosix::SetCommMask(THandle device, std::uint32_t mask) {
    return OnDevice(device, [&](PosixDevice& d) { return d.SetMask(mask); });
}

bool ComPlatformPosix::WaitCommEvent(THandle device, std::uint32_t* mask, TOverlapped* overlapped) {
    auto d = Find(device);
    if (!d || overlapped == nullptr || mask == nullptr) {
        // A call refused at once leaves its event unsignalled.
        if (overlapped != nullptr)
            ResetEvent(overlapped->hEvent);
        return Fail(d ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    }
    const std::uint32_t code = d->WaitEvent(mask, overlapped);
    if (code != ERROR_SUCCESS && code != ERROR_IO_PENDING)
        ResetEvent(overlapped->hEvent);
    return Result(code);
}

ComPlatform& SystemComPlatform() {
    static ComPlatformPosix platform(KernelSys());
    return platform;
}

} // namespace serial
