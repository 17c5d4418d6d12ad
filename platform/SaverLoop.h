#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/EventWait.h"
#include "platform/FrameClock.h"
#include "platform/NotificationCenter.h"
#include "platform/StopSignals.h"

namespace platform {

enum class StopReason { none, signal, windowGone, quit };

// What a front end (a display protocol) brings to the frame loop. The loop
// owns the rhythm; the front end owns its connection, windows and surfaces.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // What becomes ready when the display has news: its connection's
    // descriptor; on Windows, where the wait always watches the thread's
    // message queue, a further handle or null.
    virtual WaitHandle eventHandle() const = 0;
    // Handles every event already waiting, without blocking.
    virtual void dispatch() = 0;
    // Called just before the loop sleeps (send what is buffered), and after it
    // woke, telling whether the display had news.
    virtual void prepareWait() {}
    virtual void finishWait(bool /*readable*/) {}

    // Draws and presents one frame on every surface that can show one.
    // A stop request that comes in meanwhile (signals.take() non-zero) may end
    // a long frame over several surfaces early.
    virtual void frame(StopSignals& signals) = 0;
    // False while nothing is shown (every window hidden or unmapped): then no
    // frame is drawn and the loop sleeps until an event or a signal.
    virtual bool wantsFrames() const { return true; }

    // Why the front end wants the run to end; none to go on.
    virtual StopReason stopReason() const = 0;
    // What ended the run when the front end did, for the verbose report; the
    // stop reason's own name when null.
    virtual const char* stopCause() const { return nullptr; }
};

// The frame loop every front end shares: before each frame it reads the stop
// signals and the display's events, so neither waits behind frames however
// slow they are; frames are paced on the animation interval and dropped, not
// queued, when late; between frames it sleeps in the system's wait
// (waitForNews: ppoll, or MsgWaitForMultipleObjectsEx on Windows).
class SaverLoop {
public:
    SaverLoop(StopSignals& signals, std::chrono::duration<double> interval);

    // Runs until a stop signal arrives or the front end wants to stop.
    StopReason run(FrontEnd& frontEnd);
    // The same, then posts the host's stop notification: on the main loop,
    // never inside a signal handler.
    StopReason runAndAnnounce(FrontEnd& frontEnd, const NotificationCenter& notifications);

    // The signal that ended the run, or 0.
    int signal() const { return signal_; }

private:
    StopSignals& signals_;
    FrameClock::Clock::duration interval_;
    int signal_ = 0;
};

// What every desktop front end is told about a run, beside where to draw.
struct SaverRunSettings {
    bool showFps = false;
    bool verbose = false;               // report what is drawn on, sizes and the stop on stderr
    std::string programName = "saver";  // prefix of every message
    std::string windowTitle = "Screen Saver";
    std::optional<long> holdAfter;               // steps after which each view's picture is held
    std::chrono::milliseconds extraFrameTime{};  // added to every frame, to test slow frames
};

// What a front end checks before it connects to its display: status 1 (with
// a message) when the stop signals cannot be watched, 0 when a stop came
// already, nothing when it may go on.
std::optional<int> checkBeforeConnecting(StopSignals& signals, const std::string& programName);

// How a run ended, for the verbose report: "SIGTERM", "SIGINT", "window destroyed", "quit".
const char* describeStop(StopReason reason, int signal);

// Runs a started front end at this animation interval until it stops, posts
// the host's stop notification and, when verbose, reports the stop
// ("stopping (SIGTERM)").
StopReason runUntilStopped(FrontEnd& frontEnd, double interval, StopSignals& signals, const NotificationCenter& notifications,
                          const SaverRunSettings& run);

}  // namespace platform
