#pragma once

namespace platform {

// SIGTERM and SIGINT, received as data rather than as signals, so a stop
// request at any moment ends the saver through its normal, clean exit.
//
// block() must be the first thing main does: from then on the two signals
// wait in the process's pending set instead of killing it, however early
// they come. A StopSignals then reads them from a descriptor that the frame
// loop polls. They stay blocked to the end: the process is ending, and a
// second signal must not turn a clean exit into death by signal.
class StopSignals {
public:
    static void block();

    // Opens the descriptor; valid() is false when that fails.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // The signal number of a stop request that has arrived, or 0; never waits.
    // Once one has been taken, it is remembered and returned again.
    int take();
    // The signal taken so far, or 0, without looking for a new one.
    int taken() const { return taken_; }

private:
    int fd_ = -1;
    int taken_ = 0;
};

}  // namespace platform
