#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace platform {

// SIGTERM and SIGINT, received as data rather than as signals, so a stop
// request at any moment ends the saver through its normal, clean exit.
//
// block() must be the first thing main does: from then on the two signals
// wait in the process's pending set instead of killing it, however early
// they come. A StopSignals then takes them on a thread of its own, which
// makes a descriptor that the frame loop polls readable. They stay blocked to
// the end: the process is ending, and a second signal must not turn a clean
// exit into death by signal.
//
// The normal exit may be held up by work that cannot be cut short: a scene or
// a framebuffer under construction on a starved CPU, or a display server that
// is grabbed or stopped and never answers. A saver has nothing to save, so
// with a grace period the watching thread ends the process itself, with
// status 0, when the normal exit has not finished that long after the signal.
class StopSignals {
public:
    // How long a saver's normal exit may take before the process is ended
    // directly. Sanitizer builds check memory at exit and get longer.
    static const std::chrono::milliseconds saverGrace;

    static void block();

    // Starts watching; valid() is false when that fails. With a grace period,
    // a stop request ends the process that long after it came, unless this
    // object has been destroyed (the normal exit done) by then; a forced exit
    // writes "<reportPrefix>: stopping (SIGTERM)" first when a prefix is given.
    explicit StopSignals(std::optional<std::chrono::milliseconds> grace = std::nullopt, std::string reportPrefix = {});
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool valid() const { return watcher_.joinable(); }
    // Readable from the moment a stop request has arrived.
    int fd() const { return arrivedFd_; }

    // The signal number of a stop request that has arrived, or 0; never waits.
    // Once one has been taken, it is remembered and returned again.
    int take();
    // The signal taken so far, or 0, without looking for a new one.
    int taken() const { return taken_; }

private:
    void watch();
    // The next stop signal, or 0 once this object is being destroyed.
    int awaitSignal() const;
    void forceExit(int signal) const;

    std::optional<std::chrono::milliseconds> grace_;
    std::string reportPrefix_;
    int signalFd_ = -1;
    int arrivedFd_ = -1;  // written by the watcher when a stop request arrives
    int doneFd_ = -1;     // written by the destructor: the normal exit is done
    std::atomic<int> arrived_{0};
    int taken_ = 0;
    std::thread watcher_;
};

}  // namespace platform
