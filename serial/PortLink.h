// A listener linked to a port: every assigned slot is told of the matching happening.
#pragma once

#include <cstdint>
#include <functional>

class TComponent;

struct PortLink {
    using TSignalSlot = std::function<void(TComponent* sender, bool onOff)>;
    using TBufferSlot =
        std::function<void(TComponent* sender, const void* buffer, std::int32_t count)>;
    using TNotifySlot = std::function<void(TComponent* sender)>;

    TSignalSlot ConnectSlot;
    TBufferSlot RxBufSlot;
    TBufferSlot TxBufSlot;
    TNotifySlot TxEmptySlot;
    TNotifySlot RxFlagSlot;
    TSignalSlot CTSSlot;
    TSignalSlot DSRSlot;
    TSignalSlot RLSDSlot;
    TNotifySlot RingSlot;
    TSignalSlot TxActivitySlot;
    TSignalSlot RxActivitySlot;
};
