#include "skin/RepeatTicker.h"

#include <QTimer>

#include <algorithm>

RepeatTicker::RepeatTicker(std::function<void()> tick) : tick_(std::move(tick)) {}

RepeatTicker::~RepeatTicker() = default;

void RepeatTicker::Start(int interval) {
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(std::max(0, interval));
    // The connection holds its own copy of the tick: a tick may stop the ticker or destroy its
    // owner, and Qt keeps the running copy alive until it returns.
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [tick = tick_] { tick(); });
    // A zero interval would make Qt fire on every pass of the event loop.
    if (interval > 0) {
        timer_->start();
    }
}

void RepeatTicker::Stop() {
    timer_.reset();
}
