#include "ComThread.h"

#include "ComErrorCodes.h"
#include "ComSyncQueue.h"
#include "serial/CPort.h"

#include <system_error>

namespace serial {

namespace {
constexpr std::uint32_t maskBits[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK,
                                      EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD, EV_RX80FULL};

// The port whose line events this thread is delivering, if any.
thread_local const TCustomComPort* deliveringFor = nullptr;

class DeliveryScope {
public:
    explicit DeliveryScope(const TCustomComPort& port) : outer_(deliveringFor) {
        deliveringFor = &port;
    }
    ~DeliveryScope() { deliveringFor = outer_; }
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;

private:
    const TCustomComPort* outer_;
};
} // namespace

bool InDeliveryOf(const TCustomComPort& port) {
    return deliveringFor == &port;
}

std::uint32_t EventMaskBit(TComEvent event) {
    return maskBits[static_cast<int>(event)];
}

std::uint32_t EventSetToMask(TComEvents events) {
    std::uint32_t mask = 0;
    for (int e = evRxChar; e <= evRx80Full; ++e)
        if (events.Contains(static_cast<TComEvent>(e)))
            mask |= maskBits[e];
    return mask;
}

TComEvents MaskToEventSet(std::uint32_t mask) {
    TComEvents events;
    for (int e = evRxChar; e <= evRx80Full; ++e)
        if ((mask & maskBits[e]) != 0)
            events.Include(static_cast<TComEvent>(e));
    return events;
}

TComThread::TComThread(TCustomComPort& port)
    : port_(port), platform_(port.Platform()), device_(port.DeviceHandle()),
      queue_(std::make_shared<ComSyncQueue>()),
      retired_(std::make_shared<std::atomic<bool>>(false)) {
    stopSignal_ = platform_.CreateEvent(true, false);
    if (stopSignal_ == 0)
        throw EComPort(CError_OpenFailed, static_cast<std::int32_t>(platform_.GetLastError()));
    platform_.SetCommMask(device_, EventSetToMask(port_.Events()));
}

void TComThread::Start() {
    if (thread_.joinable() || stopRequested_)
        return;
    queue_->ThreadStarted();
    try {
        thread_ = std::thread([this] { Execute(); });
    } catch (const std::system_error&) {
        queue_->ThreadEnded();
        throw EComPort(CError_OpenFailed, static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY));
    }
}

TComThread::~TComThread() {
    RequestStop();
    if (thread_.joinable()) {
        queue_->ServeUntilThreadEnds(port_.SyncHost());
        thread_.join();
    } else {
        // Never started: the mask it set is all there is to undo.
        platform_.SetCommMask(device_, 0);
    }
    platform_.CloseHandle(stopSignal_);
}

bool TComThread::InOwnDelivery() const {
    return std::this_thread::get_id() == threadId_ || queue_->InSynchronizedCall();
}

void TComThread::Retire() {
    *retired_ = true;
    RequestStop();
}

void TComThread::RequestStop() {
    if (stopRequested_.exchange(true))
        return;
    // The stop signal is the only way to end the thread's wait: it must get through.
    for (int tries = 0; !platform_.SetEvent(stopSignal_); ++tries)
        platform_.Sleep(tries < 10 ? 0 : 10);
    platform_.Sleep(0);
}

void TComThread::Execute() {
    threadId_ = std::this_thread::get_id();
    // Heap blocks: a wait that cannot be seen to end leaves its block to the driver for good.
    auto overlapped = std::make_unique<TOverlapped>();
    auto mask = std::make_unique<std::uint32_t>(0);
    overlapped->hEvent = platform_.CreateEvent(true, true);
    const THandle waitList[2] = {stopSignal_, overlapped->hEvent};
    bool waitPending = false;
    bool failed = false;
    try {
        for (;;) {
            *mask = 0;
            waitPending = !platform_.WaitCommEvent(device_, mask.get(), overlapped.get()) &&
                          platform_.GetLastError() == ERROR_IO_PENDING;
            if (platform_.WaitForMultipleObjects(2, waitList, false, INFINITE) != WAIT_OBJECT_0 + 1)
                break;
            waitPending = false;
            std::uint32_t count = 0;
            if (platform_.GetOverlappedResult(device_, overlapped.get(), &count, false)) {
                receivedEvents_ = MaskToEventSet(*mask);
                DeliverEvents();
            }
        }
    } catch (...) {
        // An error of a delivery ends the thread; the port stays open and delivers no more
        // events until it is opened again.
        failed = true;
    }
    // Clearing the mask ends a wait still pending; the driver may also be writing the result
    // of one it took just before. Either way the block must outlive that write.
    const bool cleared = platform_.SetCommMask(device_, 0);
    if (waitPending && !(cleared && platform_.WaitForSingleObject(overlapped->hEvent, INFINITE) ==
                                        WAIT_OBJECT_0)) {
        overlapped.release();
        mask.release();
    }
    // After a failed delivery the port stays open: what is queued still belongs to the user.
    if (!failed && !*retired_)
        platform_.PurgeComm(device_, PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (overlapped)
        platform_.CloseHandle(overlapped->hEvent);
    queue_->ThreadEnded();
}

void TComThread::DeliverEvents() {
    switch (port_.SyncMethod()) {
    case smThreadSync:
        queue_->Synchronize(port_.SyncHost(), [this] { RunEventSteps(); });
        break;
    case smWindowSync:
        SendEventMessages();
        break;
    case smNone:
        RunEventSteps();
        break;
    }
}

void TComThread::RunEventSteps() {
    const DeliveryScope scope(port_);
    for (TComEvent event : DeliveryOrder) {
        // A handler may have closed the port, or closed and opened it again.
        if (*retired_ || !port_.Connected())
            return;
        if (!receivedEvents_.Contains(event))
            continue;
        switch (event) {
        case evError:
            port_.DeliverError();
            break;
        case evRxChar:
            port_.DeliverRxChar();
            break;
        case evTxEmpty:
            port_.DeliverTxEmpty();
            break;
        case evBreak:
            port_.DeliverBreak();
            break;
        case evRing:
            port_.DeliverRing();
            break;
        case evCTS:
            port_.DeliverCTSChange();
            break;
        case evDSR:
            port_.DeliverDSRChange();
            break;
        case evRxFlag:
            port_.DeliverRxFlag();
            break;
        case evRLSD:
            port_.DeliverRLSDChange();
            break;
        case evRx80Full:
            port_.DeliverRx80Full();
            break;
        }
    }
}

void TComThread::SendEventMessages() {
    for (TComEvent event : DeliveryOrder) {
        if (!receivedEvents_.Contains(event))
            continue;
        const std::uint32_t bit = EventMaskBit(event);
        TCustomComPort* port = &port_;
        queue_->SendMessage(port_.SyncHost(), [port, bit, retired = retired_] {
            if (!*retired) {
                const DeliveryScope scope(*port);
                port->HandlePortEventMessage(bit);
            }
        });
    }
}

} // namespace serial
