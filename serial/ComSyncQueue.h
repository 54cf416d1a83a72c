// The calls and messages an event thread hands to the main thread of one port. The event
// thread queues an item and asks the host to have the main thread run the queue; the main
// thread also runs it itself while it waits for the event thread to end.
#pragma once

#include "serial/ComSyncHost.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace serial {

class ComSyncQueue : public std::enable_shared_from_this<ComSyncQueue> {
public:
    // Event thread: runs the call on the main thread and returns when it has run; an error
    // the call raised is raised again here.
    void Synchronize(ComSyncHost& host, std::function<void()> call);
    // Event thread: hands the handler to the main thread and returns as soon as the main
    // thread has picked it up. Errors of the handler go to the host's report.
    void SendMessage(ComSyncHost& host, std::function<void()> handler);
    // Main thread: runs every queued item.
    void RunPending(ComSyncHost& host);
    // Main thread: runs queued items until the event thread says it has ended.
    void ServeUntilThreadEnds(ComSyncHost& host);
    void ThreadStarted();
    void ThreadEnded();
    // True on the main thread while it runs a call the event thread waits for.
    bool InSynchronizedCall() const { return synchronizedDepth_ > 0; }

private:
    struct Item {
        std::function<void()> call;
        bool isMessage = false;
        bool done = false;
        std::exception_ptr error;
    };
    void Post(ComSyncHost& host, const std::shared_ptr<Item>& item);
    void Run(ComSyncHost& host, Item& item);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Item>> items_;
    bool threadEnded_ = true;
    // Touched by the main thread only.
    int synchronizedDepth_ = 0;
};

} // namespace serial
