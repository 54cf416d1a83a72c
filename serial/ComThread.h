// The event thread of an open port: waits for the line events the device reports and hands
// every batch to the port's delivery steps by the port's sync method.
#pragma once

#include "ComPlatform.h"
#include "serial/ComTypes.h"

#include <atomic>
#include <memory>
#include <thread>

class TCustomComPort;

namespace serial {

class ComSyncQueue;

class TComThread {
public:
    // Arms the device's event mask from the port's Events; events that come before Start
    // wait in the device. Raises EComPort (code 1) when the stop signal cannot be made.
    explicit TComThread(TCustomComPort& port);
    // Starts waiting and delivering, once the port is open in full: a delivery may close
    // the port, and must not find it half open. Nothing once stopped or started. Raises
    // EComPort (code 1) when the thread cannot be made.
    void Start();
    // Tells the thread to stop and waits for it to end, serving the deliveries it hands to
    // the calling (main) thread meanwhile.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // True on the thread itself and while the main thread runs one of its synchronised
    // deliveries: there the thread waits for the caller, who cannot wait for it.
    bool InOwnDelivery() const;
    // Tells the thread to stop without waiting for it: it delivers nothing more, not even
    // the rest of its current batch, and ends at its next wait.
    void Retire();

private:
    void RequestStop();
    void Execute();
    void DeliverEvents();
    void RunEventSteps();
    void SendEventMessages();

    TCustomComPort& port_;
    ComPlatform& platform_;
    const THandle device_;
    THandle stopSignal_ = 0;
    std::atomic<bool> stopRequested_{false};
    std::shared_ptr<ComSyncQueue> queue_;
    // Shared with the messages this thread sends, which may run after it is retired.
    std::shared_ptr<std::atomic<bool>> retired_;
    TComEvents receivedEvents_;
    // Set by the thread itself: the one that starts it may not have stored thread_ yet.
    std::atomic<std::thread::id> threadId_{};
    std::thread thread_;
};

// Events of one batch in the order they are delivered.
inline constexpr TComEvent DeliveryOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                              evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
std::uint32_t EventSetToMask(TComEvents events);
TComEvents MaskToEventSet(std::uint32_t mask);
std::uint32_t EventMaskBit(TComEvent event);
// True while the calling thread delivers line events of `port` (an event thread delivering on
// its own, or the main thread running a delivery handed to it).
bool InDeliveryOf(const TCustomComPort& port);

} // namespace serial
