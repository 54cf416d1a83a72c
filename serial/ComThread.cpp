#include "serial/ComThread.h"

#include "serial/CPort.h"
#include "serial/ComSyncQueue.h"

namespace serial {

namespace {
constexpr std::uint32_t maskBits[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK,
                                      EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD, EV_RX80FULL};
} // namespace

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
    : port_(port), platform_(port.ComPlatform()), stopSignal_(platform_.CreateEvent(true, false)) {
    platform_.SetCommMask(port_.DeviceHandle(), EventSetToMask(port_.Events()));
    port_.SyncQueue().ThreadStarted();
    thread_ = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
    RequestStop();
    port_.SyncQueue().ServeUntilThreadEnds(port_.SyncHost());
    thread_.join();
}

void TComThread::RequestStop() {
    platform_.SetEvent(stopSignal_);
    platform_.Sleep(0);
}

void TComThread::Execute() {
    const THandle device = port_.DeviceHandle();
    TOverlapped overlapped;
    overlapped.hEvent = platform_.CreateEvent(true, true);
    const THandle waitList[2] = {stopSignal_, overlapped.hEvent};
    // Lives as long as the block: a wait still pending when the loop ends writes it when
    // the mask is cleared below.
    std::uint32_t mask = 0;
    bool failed = false;
    try {
        for (;;) {
            mask = 0;
            platform_.WaitCommEvent(device, &mask, &overlapped);
            if (platform_.WaitForMultipleObjects(2, waitList, false, INFINITE) != WAIT_OBJECT_0 + 1)
                break;
            std::uint32_t count = 0;
            if (platform_.GetOverlappedResult(device, &overlapped, &count, false)) {
                receivedEvents_ = MaskToEventSet(mask);
                DeliverEvents();
            }
        }
    } catch (...) {
        // An error of a delivery ends the thread; the port stays open and delivers no more
        // events until it is opened again.
        failed = true;
    }
    platform_.SetCommMask(device, 0);
    // After a failed delivery the port stays open: what is queued still belongs to the user.
    if (!failed)
        platform_.PurgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR);
    platform_.CloseHandle(overlapped.hEvent);
    platform_.CloseHandle(stopSignal_);
    port_.SyncQueue().ThreadEnded();
}

void TComThread::DeliverEvents() {
    switch (port_.SyncMethod()) {
    case smThreadSync:
        port_.SyncQueue().Synchronize(port_.SyncHost(), [this] { RunEventSteps(); });
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
    for (TComEvent event : DeliveryOrder) {
        // A handler may have closed the port.
        if (!port_.Connected())
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
        port_.SyncQueue().SendMessage(port_.SyncHost(),
                                      [port, bit] { port->HandlePortEventMessage(bit); });
    }
}

} // namespace serial
