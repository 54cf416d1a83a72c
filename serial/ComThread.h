// The event thread of an open port: waits for the line events the device reports and hands
// every batch to the port's delivery steps by the port's sync method.
#pragma once

#include "serial/ComPlatform.h"
#include "serial/ComTypes.h"

#include <thread>

class TCustomComPort;

namespace serial {

class TComThread {
public:
    // Arms the device's event mask from the port's Events and starts waiting.
    explicit TComThread(TCustomComPort& port);
    // Tells the thread to stop and waits for it to end, serving the deliveries it hands to
    // the calling (main) thread meanwhile.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Sets the stop signal; the thread ends at its next wait.
    void RequestStop();
    bool IsCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void Execute();
    void DeliverEvents();
    void RunEventSteps();
    void SendEventMessages();

    TCustomComPort& port_;
    TComPlatform& platform_;
    THandle stopSignal_;
    TComEvents receivedEvents_;
    std::thread thread_;
};

// Events of one batch in the order they are delivered.
inline constexpr TComEvent DeliveryOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                              evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
std::uint32_t EventSetToMask(TComEvents events);
TComEvents MaskToEventSet(std::uint32_t mask);
std::uint32_t EventMaskBit(TComEvent event);

} // namespace serial
