#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "platform/EventWait.h"

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
//
// On Windows the stop requests are the console's control events (Ctrl+C and
// Ctrl+Break count as SIGINT, closing the console, logging off and shutting
// down as SIGTERM), which Windows delivers on a thread of its own; they set
// an event the frame loop waits on. Windows ends a process soon after its
// close, log-off or shutdown handler returns, so no grace period is kept there.
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

#if defined(_WIN32)
    bool valid() const { return arrived_ && interrupted_; }
#else
    bool valid() const { return watcher_.joinable(); }
#endif
    // Ready (readable; on Windows signalled) from the moment a stop request
    // has arrived.
    WaitHandle handle() const { return arrived_; }

    // The signal number of a stop request that has arrived, or 0; never waits.
    // Once one has been taken, it is remembered and returned again.
    int take();
    // The signal taken so far, or 0, without looking for a new one.
    int taken() const { return taken_; }

private:
#if defined(_WIN32)
    WaitHandle arrived_ = nullptr;  // a manual-reset event, set when a stop request arrives
    WaitHandle interrupted_ = nullptr;  // set as well when the request was Ctrl+C or Ctrl+Break
    int taken_ = 0;
#else
    void watch();
    // The next stop signal, or 0 once this object is being destroyed.
    int awaitSignal() const;
    void forceExit(int signal) const;

    std::optional<std::chrono::milliseconds> grace_;
    std::string reportPrefix_;
    int signalFd_ = -1;
    WaitHandle arrived_ = -1;  // an eventfd written by the watcher when a stop request arrives
    int doneFd_ = -1;     // written by the destructor: the normal exit is done
    std::atomic<int> arrivedSignal_{0};
    int taken_ = 0;
    std::thread watcher_;
#endif
};

}  // namespace platform
