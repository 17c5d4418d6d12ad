#pragma once

#include <algorithm>
#include <chrono>

namespace platform {

// Paces frames at a fixed interval on the monotonic clock. A frame that comes
// late moves the schedule instead of being caught up, so later frames never
// come faster than the interval.
class FrameClock {
public:
    using Clock = std::chrono::steady_clock;

    FrameClock(Clock::duration interval, Clock::time_point first) : interval_(interval), deadline_(first) {}

    Clock::time_point deadline() const { return deadline_; }
    bool due(Clock::time_point now) const { return now >= deadline_; }

    // Called when the due frame is done: the next one is one interval after
    // this deadline, or now if that moment has already passed.
    void frameDone(Clock::time_point now) { deadline_ = std::max(deadline_ + interval_, now); }

private:
    Clock::duration interval_;
    Clock::time_point deadline_;
};

}  // namespace platform
