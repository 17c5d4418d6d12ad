#pragma once

#include <chrono>

namespace platform {

// Paces frames on a fixed grid of the monotonic clock. A frame that runs late
// drops the slots it overran instead of queueing them: the next frame is due
// at the next slot still ahead, so frames never come in a burst and the loop
// always gets back to its events and signals between two frames.
class FrameClock {
public:
    using Clock = std::chrono::steady_clock;

    FrameClock(Clock::duration interval, Clock::time_point first) : interval_(interval), deadline_(first) {}

    Clock::time_point deadline() const { return deadline_; }
    bool due(Clock::time_point now) const { return now >= deadline_; }

    // Called when the due frame is done.
    void frameDone(Clock::time_point now) {
        deadline_ += interval_;
        if (deadline_ <= now) deadline_ += ((now - deadline_) / interval_ + 1) * interval_;
    }

    // Frames start again from now, after a pause in which none were wanted.
    void restart(Clock::time_point now) { deadline_ = now; }

private:
    Clock::duration interval_;
    Clock::time_point deadline_;
};

}  // namespace platform
