#include "ComSyncQueue.h"

namespace serial {

void ComSyncQueue::Post(ComSyncHost& host, const std::shared_ptr<Item>& item) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back(item);
    }
    changed_.notify_all();
    // The queue may be gone when the host gets round to the call; keep it alive until then.
    host.PostToMainThread([self = shared_from_this(), &host] { self->RunPending(host); });
}

void ComSyncQueue::Synchronize(ComSyncHost& host, std::function<void()> call) {
    auto item = std::make_shared<Item>();
    item->call = std::move(call);
    Post(host, item);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return item->done; });
    if (item->error)
        std::rethrow_exception(item->error);
}

void ComSyncQueue::SendMessage(ComSyncHost& host, std::function<void()> handler) {
    auto item = std::make_shared<Item>();
    item->call = std::move(handler);
    item->isMessage = true;
    Post(host, item);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return item->done; });
}

void ComSyncQueue::Run(ComSyncHost& host, Item& item) {
    if (item.isMessage) {
        // Reply at once so that the sender goes on while the handler runs.
        {
            std::lock_guard lock(mutex_);
            item.done = true;
        }
        changed_.notify_all();
        try {
            item.call();
        } catch (...) {
            host.ReportException(std::current_exception());
        }
        return;
    }
    std::exception_ptr error;
    ++synchronizedDepth_;
    try {
        item.call();
    } catch (...) {
        error = std::current_exception();
    }
    --synchronizedDepth_;
    {
        std::lock_guard lock(mutex_);
        item.error = error;
        item.done = true;
    }
    changed_.notify_all();
}

void ComSyncQueue::RunPending(ComSyncHost& host) {
    for (;;) {
        std::shared_ptr<Item> item;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty())
                return;
            item = items_.front();
            items_.pop_front();
        }
        Run(host, *item);
    }
}

void ComSyncQueue::ServeUntilThreadEnds(ComSyncHost& host) {
    std::unique_lock lock(mutex_);
    for (;;) {
        while (!items_.empty()) {
            auto item = items_.front();
            items_.pop_front();
            lock.unlock();
            Run(host, *item);
            lock.lock();
        }
        if (threadEnded_)
            return;
        changed_.wait(lock, [&] { return threadEnded_ || !items_.empty(); });
    }
}

void ComSyncQueue::ThreadStarted() {
    std::lock_guard lock(mutex_);
    threadEnded_ = false;
}

void ComSyncQueue::ThreadEnded() {
    {
        std::lock_guard lock(mutex_);
        threadEnded_ = true;
    }
    changed_.notify_all();
}

} // namespace serial
