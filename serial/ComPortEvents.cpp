// Delivery steps, event hooks and links of the port.
#include "serial/CPort.h"

#include "ComThread.h"

#include <algorithm>
#include <memory>

using namespace serial;

namespace {
// Calls an event's handler when one is set.
template <typename Handler, typename... Args> void Call(const Handler& handler, Args... args) {
    if (handler)
        handler(args...);
}
} // namespace

void TCustomComPort::EmitAfterClose() {
    Call(OnAfterClose, this);
}
void TCustomComPort::EmitAfterOpen() {
    Call(OnAfterOpen, this);
}
void TCustomComPort::EmitBeforeClose() {
    Call(OnBeforeClose, this);
}
void TCustomComPort::EmitBeforeOpen() {
    Call(OnBeforeOpen, this);
}
void TCustomComPort::EmitRxChar(std::int32_t count) {
    Call(OnRxChar, this, count);
}
void TCustomComPort::EmitRxBuf(const void* buffer, std::int32_t count) {
    Call(OnRxBuf, this, buffer, count);
}
void TCustomComPort::EmitTxEmpty() {
    Call(OnTxEmpty, this);
}
void TCustomComPort::EmitBreak() {
    Call(OnBreak, this);
}
void TCustomComPort::EmitRing() {
    Call(OnRing, this);
}
void TCustomComPort::EmitRxFlag() {
    Call(OnRxFlag, this);
}
void TCustomComPort::EmitCTSChange(bool onOff) {
    Call(OnCTSChange, this, onOff);
}
void TCustomComPort::EmitDSRChange(bool onOff) {
    Call(OnDSRChange, this, onOff);
}
void TCustomComPort::EmitError(TComErrors errors) {
    Call(OnError, this, errors);
}
void TCustomComPort::EmitRLSDChange(bool onOff) {
    Call(OnRLSDChange, this, onOff);
}
void TCustomComPort::EmitRx80Full() {
    Call(OnRx80Full, this);
}

bool TCustomComPort::AnyLinkHas(PortLink::SignalSlot PortLink::*slot) const {
    return std::any_of(linkList_.begin(), linkList_.end(),
                       [slot](const PortLink* link) { return static_cast<bool>(link->*slot); });
}

void TCustomComPort::RegisterLink(PortLink* link) {
    const bool present = std::find(linkList_.begin(), linkList_.end(), link) != linkList_.end();
    if (link == nullptr || present || (watchThreadRunning_ && syncMethod_ == smNone))
        throw EComPort(CError_RegFailed);
    linkList_.push_back(link);
    if (link->RxBufSlot)
        hasBufferLink_ = true;
}

void TCustomComPort::UnregisterLink(PortLink* link) {
    auto it = std::find(linkList_.begin(), linkList_.end(), link);
    if (it == linkList_.end() || (watchThreadRunning_ && syncMethod_ == smNone))
        throw EComPort(CError_RegFailed);
    linkList_.erase(it);
    hasBufferLink_ = std::any_of(linkList_.begin(), linkList_.end(),
                                 [](const PortLink* l) { return static_cast<bool>(l->RxBufSlot); });
}

void TCustomComPort::DeliverError() {
    const TComErrors errors = TakeLineErrors();
    if (!errors.Empty())
        EmitError(errors);
}

void TCustomComPort::DeliverRxChar() {
    std::int32_t count = InputQueued();
    if (count > 0)
        NotifyLinks(&PortLink::RxActivitySlot, true);
    if (count > 0 && !(rxCountMode_ && !hasBufferLink_)) {
        std::unique_ptr<char[]> buffer;
        // What the read really gave; the queue cannot shrink under us, but a short read must
        // never hand out bytes that were not received.
        std::int32_t got = 0;
        auto readNow = [&] {
            buffer = std::make_unique<char[]>(static_cast<std::size_t>(count));
            got = ReadBytes(buffer.get(), count);
            EmitRxBuf(buffer.get(), got);
        };
        const std::vector<PortLink*> links = linkList_;
        for (PortLink* link : links) {
            if (!link->RxBufSlot)
                continue;
            if (!buffer)
                readNow();
            link->RxBufSlot(this, buffer.get(), got);
        }
        if (!buffer && !rxCountMode_)
            readNow();
        if (buffer)
            count = 0;
    }
    if (count > 0)
        EmitRxChar(count);
}

void TCustomComPort::DeliverTxEmpty() {
    NotifyLinks(&PortLink::TxActivitySlot, false);
    NotifyLinks(&PortLink::TxEmptySlot);
    EmitTxEmpty();
}

void TCustomComPort::DeliverBreak() {
    EmitBreak();
}

void TCustomComPort::DeliverRing() {
    NotifyLinks(&PortLink::RingSlot);
    EmitRing();
}

void TCustomComPort::DeliverSignalChange(TModemSignal signal, PortLink::SignalSlot PortLink::*slot,
                                         void (TCustomComPort::*emit)(bool)) {
    const std::optional<TModemSignals> signals = SignalsToReport();
    // A line the driver cannot read has no state to tell; the port works without it.
    if (!signals)
        return;
    const bool on = signals->Contains(signal);
    NotifyLinks(slot, on);
    (this->*emit)(on);
}

void TCustomComPort::DeliverCTSChange() {
    DeliverSignalChange(msCTS, &PortLink::CTSSlot, &TCustomComPort::EmitCTSChange);
}
void TCustomComPort::DeliverDSRChange() {
    DeliverSignalChange(msDSR, &PortLink::DSRSlot, &TCustomComPort::EmitDSRChange);
}
void TCustomComPort::DeliverRLSDChange() {
    DeliverSignalChange(msRLSD, &PortLink::RLSDSlot, &TCustomComPort::EmitRLSDChange);
}

void TCustomComPort::DeliverRxFlag() {
    NotifyLinks(&PortLink::RxFlagSlot);
    EmitRxFlag();
}

void TCustomComPort::DeliverRx80Full() {
    EmitRx80Full();
}

void TCustomComPort::DeliverBeforeOpen() {
    EmitBeforeOpen();
}

void TCustomComPort::DeliverAfterOpen() {
    NotifyLinks(&PortLink::ConnectSlot, true);
    EmitAfterOpen();
    ReportSignals(true);
}

void TCustomComPort::DeliverBeforeClose() {
    ReportSignals(false);
    EmitBeforeClose();
}

void TCustomComPort::DeliverAfterClose() {
    NotifyLinks(&PortLink::ConnectSlot, false);
    EmitAfterClose();
}

void TCustomComPort::ReportSignals(bool opening) {
    if (opening) {
        DeliverCTSChange();
        DeliverDSRChange();
        DeliverRLSDChange();
        return;
    }
    NotifyLinks(&PortLink::CTSSlot, false);
    NotifyLinks(&PortLink::DSRSlot, false);
    NotifyLinks(&PortLink::RLSDSlot, false);
    EmitCTSChange(false);
    EmitDSRChange(false);
    EmitRLSDChange(false);
}

void TCustomComPort::HandlePortEventMessage(std::uint32_t eventMaskBit) {
    if (!connected_)
        return;
    switch (eventMaskBit) {
    case 1:
        DeliverRxChar();
        break;
    case 2:
        DeliverRxFlag();
        break;
    case 4:
        DeliverTxEmpty();
        break;
    case 8:
        DeliverCTSChange();
        break;
    case 16:
        DeliverDSRChange();
        break;
    case 32:
        DeliverRLSDChange();
        break;
    case 64:
        DeliverBreak();
        break;
    case 128:
        DeliverError();
        break;
    case 256:
        DeliverRing();
        break;
    case 1024:
        DeliverRx80Full();
        break;
    default:
        break;
    }
}
