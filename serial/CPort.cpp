#include "serial/CPort.h"

#include "ComPlatform.h"
#include "ComRequest.h"
#include "ComStore.h"
#include "ComText.h"
#include "ComThread.h"
#include "serial/ComPlainSyncHost.h"

using namespace serial;

TCustomComPort::TCustomComPort(TComponent* owner, ComPlatform* comPlatform)
    : TComponent(owner), platform_(comPlatform != nullptr ? comPlatform : &SystemComPlatform()),
      ownHost_(std::make_unique<ComPlainSyncHost>()), deviceHandle_(INVALID_HANDLE_VALUE) {
    parity_ = std::make_unique<TComParity>();
    parity_->SetComPort(this);
    flowControl_ = std::make_unique<TComFlowControl>();
    flowControl_->SetComPort(this);
    timeouts_ = std::make_unique<TComTimeouts>();
    timeouts_->SetComPort(this);
    buffer_ = std::make_unique<TComBuffer>();
    buffer_->SetComPort(this);
}

TCustomComPort::~TCustomComPort() {
    ShutDown();
    buffer_.reset();
    flowControl_.reset();
    timeouts_.reset();
    parity_.reset();
    FreeOwnedComponents();
}

void TCustomComPort::ShutDown() noexcept {
    try {
        Close();
    } catch (...) {
        // A destructor cannot raise; the report is the user's only way to learn of it.
        SyncHost().ReportException(std::current_exception());
    }
    Release();
}

TComPort::~TComPort() {
    ShutDown();
}

ComSyncHost& TCustomComPort::SyncHost() const {
    return syncHost_ != nullptr ? *syncHost_ : *ownHost_;
}

// --- Lifecycle -------------------------------------------------------------------------------

void TCustomComPort::Open() {
    if (connected_ || IsDesigning())
        return;
    ReapRetiredThreads();
    DeliverBeforeOpen();
    OpenDevice();
    unreportedErrors_ = 0;
    connected_ = true;
    try {
        ApplyAllSettings();
        if (!events_.Empty())
            watchThread_ = std::make_unique<TComThread>(*this);
    } catch (...) {
        CloseDevice();
        connected_ = false;
        throw;
    }
    watchThreadRunning_ = watchThread_ != nullptr;
    notifyWindow_ = watchThreadRunning_ && syncMethod_ == smWindowSync;
    // The event thread starts once the port is open in full, after-open delivery included:
    // its handlers may close the port and must not race with the rest of Open.
    try {
        DeliverAfterOpen();
    } catch (...) {
        StartWatchThread();
        throw;
    }
    StartWatchThread();
}

void TCustomComPort::StartWatchThread() {
    // An after-open handler may have closed the port, or closed and opened it again.
    if (!connected_ || watchThread_ == nullptr)
        return;
    try {
        watchThread_->Start();
    } catch (...) {
        Close();
        throw;
    }
}

bool TCustomComPort::BeginClose() {
    std::unique_lock lock(closeMutex_);
    for (;;) {
        if (!connected_)
            return false;
        if (closer_ == std::thread::id())
            break;
        // A Close inside the running one (a handler it called) returns at once, and so does
        // one in a delivery of this port: the running Close waits for that delivery to end.
        if (closer_ == std::this_thread::get_id() || InDeliveryOf(*this))
            return false;
        closeEnded_.wait(lock);
    }
    closer_ = std::this_thread::get_id();
    return true;
}

void TCustomComPort::EndClose() {
    {
        std::lock_guard lock(closeMutex_);
        closer_ = std::thread::id();
    }
    closeEnded_.notify_all();
}

void TCustomComPort::Close() {
    if (IsDesigning() || !BeginClose())
        return;
    try {
        DeliverBeforeClose();
        AbortAllRequests();
    } catch (...) {
        EndClose();
        throw;
    }
    if (watchThreadRunning_)
        StopWatchThread();
    ReapRetiredThreads();
    CloseDevice();
    connected_ = false;
    EndClose();
    DeliverAfterClose();
}

void TCustomComPort::StopWatchThread() {
    std::unique_ptr<TComThread> thread = std::move(watchThread_);
    watchThreadRunning_ = false;
    notifyWindow_ = false;
    if (thread == nullptr)
        return;
    // Inside its own delivery the thread waits for this very call to return. It skips the
    // rest of its batch and ends at its next wait.
    if (thread->InOwnDelivery()) {
        thread->Retire();
        retiredThreads_.push_back(std::move(thread));
        return;
    }
    thread.reset();
}

void TCustomComPort::ReapRetiredThreads() {
    std::vector<std::unique_ptr<TComThread>> ended;
    for (std::unique_ptr<TComThread>& thread : retiredThreads_)
        if (!thread->InOwnDelivery())
            ended.push_back(std::move(thread));
    std::erase(retiredThreads_, nullptr);
}

void TCustomComPort::Release() {
    StopWatchThread();
    retiredThreads_.clear();
    CloseDevice();
    connected_ = false;
}

void TCustomComPort::SetConnected(bool value) {
    if (IsDesigning() || IsLoading()) {
        connected_ = value;
        return;
    }
    if (value == connected_)
        return;
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::Loaded() {
    TComponent::Loaded();
    if (connected_ && !IsDesigning()) {
        connected_ = false;
        try {
            Open();
        } catch (...) {
            SyncHost().ReportException(std::current_exception());
        }
    }
}

void TCustomComPort::OpenDevice() {
    deviceHandle_ = platform_->CreateFile(port_);
    if (deviceHandle_ == INVALID_HANDLE_VALUE)
        throw EComPort(CError_OpenFailed, static_cast<std::int32_t>(platform_->GetLastError()));
}

void TCustomComPort::CloseDevice() {
    if (deviceHandle_ != INVALID_HANDLE_VALUE) {
        platform_->CloseHandle(deviceHandle_);
        deviceHandle_ = INVALID_HANDLE_VALUE;
    }
}

// --- Settings --------------------------------------------------------------------------------

using com_detail::Store;

void TCustomComPort::SetBaudRate(TBaudRate value) {
    if (Store(baudRate_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetCustomBaudRate(std::int32_t value) {
    if (Store(customBaudRate_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetStopBits(TStopBits value) {
    if (Store(stopBits_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetDataBits(TDataBits value) {
    if (Store(dataBits_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetDiscardNull(bool value) {
    if (Store(discardNull_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetEventChar(char value) {
    if (Store(eventChar_, value))
        ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& value) {
    if (value == port_)
        return;
    port_ = value;
    if (connected_ && !IsDesigning() && !IsLoading()) {
        Close();
        Open();
    }
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
    if (value == syncMethod_)
        return;
    if (connected_ && !IsDesigning() && !IsLoading())
        throw EComPort(CError_ConnChangeProp);
    syncMethod_ = value;
}

void TCustomComPort::SetParity(const TComParity& value) {
    parity_->CopyFrom(value);
    ApplyLineSettings();
}
void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
    flowControl_->CopyFrom(value);
    ApplyLineSettings();
}
void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
    timeouts_->CopyFrom(value);
    ApplyTimeoutSettings();
}
void TCustomComPort::SetBuffer(const TComBuffer& value) {
    buffer_->CopyFrom(value);
    ApplyBufferSettings();
}

bool TCustomComPort::CanApply() const {
    return connected_ && !IsDesigning() && !IsLoading();
}

TDCB TCustomComPort::BuildDeviceControlBlock() const {
    TDCB dcb;
    dcb.DCBlength = 28;
    dcb.BaudRate = baudRate_ == brCustom ? static_cast<std::uint32_t>(customBaudRate_)
                                         : BaudRateValue(baudRate_);
    dcb.fBinary = 1;
    const bool replace = parity_->Check() && parity_->Replace();
    dcb.fParity = parity_->Check() ? 1 : 0;
    dcb.fOutxCtsFlow = flowControl_->OutCTSFlow() ? 1 : 0;
    dcb.fOutxDsrFlow = flowControl_->OutDSRFlow() ? 1 : 0;
    dcb.fDtrControl = static_cast<std::uint32_t>(flowControl_->ControlDTR());
    dcb.fDsrSensitivity = flowControl_->DSRSensitivity() ? 1 : 0;
    dcb.fTXContinueOnXoff = flowControl_->TxContinueOnXoff() ? 1 : 0;
    dcb.fOutX = flowControl_->XonXoffOut() ? 1 : 0;
    dcb.fInX = flowControl_->XonXoffIn() ? 1 : 0;
    dcb.fErrorChar = replace ? 1 : 0;
    dcb.fNull = discardNull_ ? 1 : 0;
    dcb.fRtsControl = static_cast<std::uint32_t>(flowControl_->ControlRTS());
    dcb.fAbortOnError = 0;
    const auto limit = static_cast<std::uint16_t>(buffer_->InputSize() / 4);
    dcb.XonLim = limit;
    dcb.XoffLim = limit;
    dcb.ByteSize = static_cast<std::uint8_t>(5 + static_cast<int>(dataBits_));
    dcb.Parity = static_cast<std::uint8_t>(parity_->Bits());
    dcb.StopBits = static_cast<std::uint8_t>(stopBits_);
    dcb.XonChar = flowControl_->XonChar();
    dcb.XoffChar = flowControl_->XoffChar();
    dcb.ErrorChar = replace ? parity_->ReplaceChar() : 0;
    dcb.EvtChar = eventChar_;
    return dcb;
}

void TCustomComPort::ApplyLineSettings() {
    if (!CanApply())
        return;
    if (!platform_->SetCommState(deviceHandle_, BuildDeviceControlBlock()))
        throw EComPort(CError_SetStateFailed, static_cast<std::int32_t>(platform_->GetLastError()));
}

void TCustomComPort::ApplyTimeoutSettings() {
    if (!CanApply())
        return;
    TCommTimeouts t;
    t.ReadIntervalTimeout = static_cast<std::uint32_t>(timeouts_->ReadInterval());
    t.ReadTotalTimeoutMultiplier = static_cast<std::uint32_t>(timeouts_->ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(timeouts_->ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = static_cast<std::uint32_t>(timeouts_->WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(timeouts_->WriteTotalConstant());
    if (!platform_->SetCommTimeouts(deviceHandle_, t))
        throw EComPort(CError_TimeoutsFailed, static_cast<std::int32_t>(platform_->GetLastError()));
}

void TCustomComPort::ApplyBufferSettings() {
    if (!CanApply())
        return;
    if (!platform_->SetupComm(deviceHandle_, static_cast<std::uint32_t>(buffer_->InputSize()),
                              static_cast<std::uint32_t>(buffer_->OutputSize())))
        throw EComPort(CError_SetupComFailed, static_cast<std::int32_t>(platform_->GetLastError()));
}

void TCustomComPort::ApplyAllSettings() {
    ApplyBufferSettings();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}
