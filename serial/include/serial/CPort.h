// The serial port component: one serial device with its settings, opening and closing,
// overlapped reads and writes, an event thread watching line events and settings storage.
#pragma once

#include "serial/ComComponent.h"
#include "serial/ComHandle.h"
#include "serial/ComSettings.h"
#include "serial/ComSyncHost.h"
#include "serial/ComTypes.h"
#include "serial/EComPort.h"
#include "serial/PortLink.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class ProfileFile;
class Registry;
} // namespace platform

// The platform layer stays out of the component's users' sight: they see only these names.
namespace serial {
class ComPlatform;
class TComThread;
struct TDCB;
} // namespace serial

struct TComRequest;
class ComPlainSyncHost;

using TNotifyEvent = std::function<void(TComponent* sender)>;
using TRxCharEvent = std::function<void(TComponent* sender, std::int32_t count)>;
using TRxBufEvent = std::function<void(TComponent* sender, const void* buffer, std::int32_t count)>;
using TComErrorEvent = std::function<void(TComponent* sender, TComErrors errors)>;
using TComSignalEvent = std::function<void(TComponent* sender, bool onOff)>;

// Window-message number of a line event sent to the port's notify window.
inline constexpr std::uint32_t PortEventMessage = 1025;

class TCustomComPort : public TComponent {
public:
    // The port works on the platform given, or on the system's own when none is.
    explicit TCustomComPort(TComponent* owner, serial::ComPlatform* comPlatform = nullptr);
    ~TCustomComPort() override;

    // --- Lifecycle -------------------------------------------------------------------------
    void Open();
    void Close();
    bool Connected() const { return connected_; }
    void SetConnected(bool value);
    void Loaded() override;

    // --- Settings --------------------------------------------------------------------------
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    std::int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::int32_t value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value) { events_ = value; }
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);
    TStoredGroups StoredGroups() const { return storedGroups_; }
    void SetStoredGroups(TStoredGroups value) { storedGroups_ = value; }

    TComParity& Parity() { return *parity_; }
    const TComParity& Parity() const { return *parity_; }
    void SetParity(const TComParity& value);
    TComFlowControl& FlowControl() { return *flowControl_; }
    const TComFlowControl& FlowControl() const { return *flowControl_; }
    void SetFlowControl(const TComFlowControl& value);
    TComTimeouts& Timeouts() { return *timeouts_; }
    const TComTimeouts& Timeouts() const { return *timeouts_; }
    void SetTimeouts(const TComTimeouts& value);
    TComBuffer& Buffer() { return *buffer_; }
    const TComBuffer& Buffer() const { return *buffer_; }
    void SetBuffer(const TComBuffer& value);

    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyBufferSettings();
    virtual void ApplyAllSettings();
    // The device control block the line settings make; built afresh on every call.
    serial::TDCB BuildDeviceControlBlock() const;

    // --- Input and output ------------------------------------------------------------------
    TComRequest* CreateRequest();
    void FreeRequest(TComRequest*& request);
    std::int32_t StartWrite(const void* buffer, std::int32_t count, TComRequest* request);
    std::int32_t StartWriteText(const std::string& text, TComRequest* request);
    std::int32_t WriteText(const std::string& text);
    std::int32_t StartRead(void* buffer, std::int32_t count, TComRequest* request);
    std::int32_t StartReadText(std::string& text, std::int32_t count, TComRequest* request);
    std::int32_t ReadBytes(void* buffer, std::int32_t count);
    std::int32_t ReadText(std::string& text, std::int32_t count);
    std::int32_t WaitForRequest(TComRequest* request);
    void AbortAllRequests();
    std::int32_t InputQueued();
    std::int32_t OutputQueued();
    TModemSignals ModemSignals();
    TComErrors TakeLineErrors();

    // Links: registering a link twice, removing one that is not registered, or changing
    // links while an event thread delivers on its own (smNone) raises code 18.
    void RegisterLink(PortLink* link);
    void UnregisterLink(PortLink* link);
    bool RxCountMode() const { return rxCountMode_; }
    void SetRxCountMode(bool value) { rxCountMode_ = value; }
    bool HasBufferLink() const { return hasBufferLink_; }

    // --- Settings storage ------------------------------------------------------------------
    virtual void StoreToRegistry(platform::Registry& registry);
    virtual void StoreToProfile(platform::ProfileFile& profile);
    virtual void LoadFromRegistry(platform::Registry& registry);
    virtual void LoadFromProfile(platform::ProfileFile& profile);

    // --- Platform and threads --------------------------------------------------------------
    serial::THandle DeviceHandle() const { return deviceHandle_; }
    serial::ComPlatform& Platform() const { return *platform_; }
    // The host through which events reach the main thread; it must outlive the port. Without
    // one the port uses a host of its own that nobody serves: deliveries wait until Close runs
    // them.
    void SetSyncHost(ComSyncHost* host) { syncHost_ = host; }
    ComSyncHost& SyncHost() const;
    bool WatchThreadRunning() const { return watchThreadRunning_; }
    TThreadPriority WatchThreadPriority() const { return watchThreadPriority_; }
    void SetWatchThreadPriority(TThreadPriority value) { watchThreadPriority_ = value; }
    bool HasNotifyWindow() const { return notifyWindow_; }

    // --- Events ----------------------------------------------------------------------------
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRxFlag;
    TComErrorEvent OnError;
    TNotifyEvent OnRx80Full;

protected:
    // Closes the port (an error goes to the sync host's report) and stops its event thread and
    // device, whatever a handler does; nothing when that is done. The event thread calls the
    // virtual Emit methods, so a derived class runs this first in its destructor, while the
    // object is still of its own type.
    void ShutDown() noexcept;

    virtual void OpenDevice();
    virtual void CloseDevice();

    virtual void EmitAfterClose();
    virtual void EmitAfterOpen();
    virtual void EmitBeforeClose();
    virtual void EmitBeforeOpen();
    virtual void EmitRxChar(std::int32_t count);
    virtual void EmitRxBuf(const void* buffer, std::int32_t count);
    virtual void EmitTxEmpty();
    virtual void EmitBreak();
    virtual void EmitRing();
    virtual void EmitRxFlag();
    virtual void EmitCTSChange(bool onOff);
    virtual void EmitDSRChange(bool onOff);
    virtual void EmitError(TComErrors errors);
    virtual void EmitRLSDChange(bool onOff);
    virtual void EmitRx80Full();

private:
    // The delivery steps run from Open, Close and the event thread only.
    friend class serial::TComThread;

    // --- Event delivery --------------------------------------------------------------------
    void DeliverRxChar();
    void DeliverTxEmpty();
    void DeliverRxFlag();
    void DeliverRing();
    void DeliverBreak();
    void DeliverCTSChange();
    void DeliverDSRChange();
    void DeliverError();
    void DeliverRLSDChange();
    void DeliverRx80Full();
    void DeliverBeforeOpen();
    void DeliverAfterOpen();
    void DeliverBeforeClose();
    void DeliverAfterClose();
    void ReportSignals(bool opening);
    // Runs the delivery step that a notify-window message names by its event mask bit;
    // only while the port is connected.
    void HandlePortEventMessage(std::uint32_t eventMaskBit);

    bool CanApply() const;
    void DeliverSignalChange(TModemSignal signal, PortLink::SignalSlot PortLink::*slot,
                             void (TCustomComPort::*emit)(bool));
    // The lines for a delivery to tell: none when the driver keeps no modem status (it
    // refuses the request as an unsupported function); any other failure raises code 11.
    std::optional<TModemSignals> SignalsToReport();
    template <typename Slot, typename... Args> void NotifyLinks(Slot PortLink::*slot, Args... args);
    bool AnyLinkHas(PortLink::SignalSlot PortLink::*slot) const;
    // Reads the queue counts and the device's error word, which reading clears; the errors
    // are kept in unreportedErrors_ until an error report takes them.
    void ClearErrors(std::uint32_t& inQueue, std::uint32_t& outQueue);
    // Stops the event thread; one that cannot be waited for from here (this call comes from
    // its own delivery) is told to stop and waited for later.
    void StopWatchThread();
    // Waits for the stopped threads that can be waited for from here.
    void ReapRetiredThreads();
    // Lets the event thread of an open port deliver; closes the port when it cannot start.
    void StartWatchThread();
    // Marks this thread as the one closing the port; false when the port is closed, or is
    // being closed by a Close this one must not wait for.
    bool BeginClose();
    void EndClose();
    // What a failed Close leaves behind at destruction: the threads and the device.
    void Release();
    // A request for a synchronous operation; failing to make one raises `errorCode`.
    TComRequest* NewRequest(std::int32_t errorCode);

    serial::ComPlatform* platform_;
    ComSyncHost* syncHost_ = nullptr;
    std::unique_ptr<ComPlainSyncHost> ownHost_;
    std::unique_ptr<serial::TComThread> watchThread_;
    // Event threads told to stop by a Close made inside one of their own deliveries; they
    // cannot be waited for there and are waited for at the next Open or Close, or at
    // destruction.
    std::vector<std::unique_ptr<serial::TComThread>> retiredThreads_;
    // The thread running Close, none when no Close runs. Another thread's Close waits for it
    // to end, so that Close returns only once the port is closed; a Close inside it (a
    // handler it runs) or in a delivery it waits for returns at once.
    std::mutex closeMutex_;
    std::condition_variable closeEnded_;
    std::thread::id closer_;
    bool watchThreadRunning_ = false;
    serial::THandle deviceHandle_;
    bool notifyWindow_ = false;
    std::vector<PortLink*> linkList_;
    bool rxCountMode_ = true;
    TThreadPriority watchThreadPriority_ = TThreadPriority::Normal;
    bool hasBufferLink_ = false;
    // Read by an event thread delivering on its own (smNone) while the main thread closes.
    std::atomic<bool> connected_{false};
    // Line errors read off the device, by a queue count as much as by an error report, and
    // not reported yet: a count on one thread must not swallow what the event thread's
    // report of EV_ERR is about to ask for.
    std::atomic<std::uint32_t> unreportedErrors_{0};
    TBaudRate baudRate_ = br9600;
    std::int32_t customBaudRate_ = 9600;
    std::string port_ = "COM1";
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = AllComEvents;
    std::unique_ptr<TComBuffer> buffer_;
    std::unique_ptr<TComParity> parity_;
    std::unique_ptr<TComTimeouts> timeouts_;
    std::unique_ptr<TComFlowControl> flowControl_;
    TSyncMethod syncMethod_ = smThreadSync;
    TStoredGroups storedGroups_{sgBasic};
};

// The port as placed on a window; it adds nothing to TCustomComPort.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
    ~TComPort() override;
};

template <typename Slot, typename... Args>
void TCustomComPort::NotifyLinks(Slot PortLink::*slot, Args... args) {
    // A slot may add or remove links; walk the list as it was when the walk began.
    const std::vector<PortLink*> links = linkList_;
    for (PortLink* link : links)
        if (link->*slot)
            (link->*slot)(this, args...);
}
