#include "WriteLog.h"

#include <gtest/gtest.h>

#include "serial/CPort.h"

WriteLog::WriteLog(TCustomComPort& port) : port_(port) {
    // Told once the write has been handed to the device, so after any pause before it.
    link_.TxActivitySlot = [this](TComponent*, bool on) {
        if (on)
            began_ = Clock::now();
    };
    // Told when the write has ended, before the writer goes on to any pause after it.
    link_.TxBufSlot = [this](TComponent*, const void* buffer, std::int32_t count) {
        writes_.push_back(
            {began_, Clock::now(),
             std::string(static_cast<const char*>(buffer), static_cast<std::size_t>(count))});
    };
    port_.RegisterLink(&link_);
}

WriteLog::~WriteLog() {
    port_.UnregisterLink(&link_);
}

std::string WriteLog::Bytes() const {
    std::string all;
    for (const Write& w : writes_)
        all += w.bytes;
    return all;
}

std::size_t WriteLog::WriteAt(std::size_t offset) const {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < writes_.size(); ++i) {
        seen += writes_[i].bytes.size();
        if (offset < seen)
            return i;
    }
    return writes_.size();
}

double WriteLog::Gap(const std::string& before, const std::string& after) const {
    const std::string all = Bytes();
    const std::size_t a = all.find(before);
    const std::size_t b = a == std::string::npos ? a : all.find(after, a + before.size());
    if (a == std::string::npos || b == std::string::npos) {
        ADD_FAILURE() << "the spooler did not write "
                      << (a == std::string::npos ? "the first" : "the second") << " of the two";
        return 0;
    }
    const Write& first = writes_[WriteAt(a + before.size() - 1)];
    const Write& second = writes_[WriteAt(b)];
    if (&first == &second)
        return 0;
    return std::chrono::duration<double, std::milli>(second.began - first.ended).count();
}
