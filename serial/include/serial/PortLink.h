// A listener linked to a port: every assigned slot is told of the matching happening.
#pragma once

#include <cstdint>
#include <functional>

class TComponent;

struct PortLink {
    using SignalSlot = std::function<void(TComponent* sender, bool onOff)>;
    using BufferSlot =
        std::function<void(TComponent* sender, const void* buffer, std::int32_t count)>;
    using NotifySlot = std::function<void(TComponent* sender)>;

    SignalSlot ConnectSlot;
    BufferSlot RxBufSlot;
    BufferSlot TxBufSlot;
    NotifySlot TxEmptySlot;
    NotifySlot RxFlagSlot;
    SignalSlot CTSSlot;
    SignalSlot DSRSlot;
    SignalSlot RLSDSlot;
    NotifySlot RingSlot;
    SignalSlot TxActivitySlot;
    SignalSlot RxActivitySlot;
};
