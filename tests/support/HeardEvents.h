#pragma once

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// What a test's event handlers heard, in order, from whichever thread delivers them. As a base
// of a fixture it outlives the fixture's members, so a port closing in its member's destructor
// can still record.
class HeardEvents {
public:
    void Record(const std::string& what) {
        std::lock_guard lock(mutex_);
        heard_.push_back(what);
    }
    std::vector<std::string> Heard() const {
        std::lock_guard lock(mutex_);
        return heard_;
    }
    std::size_t HeardCount() const { return Heard().size(); }
    bool HeardOf(const std::string& what) const {
        const std::vector<std::string> got = Heard();
        return std::find(got.begin(), got.end(), what) != got.end();
    }
    void Forget() {
        std::lock_guard lock(mutex_);
        heard_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> heard_;
};
