#include "platform/SaverLoop.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

SaverLoop::SaverLoop(StopSignals& signals, std::chrono::duration<double> interval)
    : signals_(signals),
      interval_(std::chrono::duration_cast<FrameClock::Clock::duration>(
          interval.count() > 0 ? interval : std::chrono::duration<double>(1.0 / 30.0))) {}

StopReason SaverLoop::run(FrontEnd& frontEnd) {
    FrameClock clock(interval_, FrameClock::Clock::now());
    bool paused = false;
    // The signal descriptor is read only before the first wait and when a
    // wait found it readable: a signal that comes during a frame wakes the
    // next wait at once. One taken meanwhile (by a frame) is remembered.
    bool signalNews = true;
    for (;;) {
        if ((signal_ = signalNews ? signals_.take() : signals_.taken())) return StopReason::signal;
        signalNews = false;
        frontEnd.dispatch();
        if (const StopReason reason = frontEnd.stopReason(); reason != StopReason::none) return reason;

        const bool wanted = frontEnd.wantsFrames();
        const auto now = FrameClock::Clock::now();
        if (wanted && paused) clock.restart(now);
        paused = !wanted;
        if (wanted && clock.due(now)) {
            frontEnd.frame(signals_);
            clock.frameDone(FrameClock::Clock::now());
            continue;  // signals and events again before anything else
        }

        const auto timeout = clock.deadline() - now;
        frontEnd.prepareWait();
        const WaitNews news = waitForNews(frontEnd.eventHandle(), signals_.handle(), wanted ? &timeout : nullptr);
        signalNews = news.signals;
        frontEnd.finishWait(news.display);
    }
}

StopReason SaverLoop::runAndAnnounce(FrontEnd& frontEnd, const NotificationCenter& notifications) {
    const StopReason reason = run(frontEnd);
    notifications.post(willStopNotification);
    return reason;
}

std::optional<int> checkBeforeConnecting(StopSignals& signals, const std::string& programName) {
    if (!signals.valid()) {
        std::fprintf(stderr, "%s: cannot watch for stop signals: %s\n", programName.c_str(), std::strerror(errno));
        return 1;
    }
    if (signals.take()) return 0;  // told to stop before anything was shown
    return std::nullopt;
}

const char* describeStop(StopReason reason, int signal) {
    switch (reason) {
    case StopReason::signal: return signal == SIGINT ? "SIGINT" : "SIGTERM";
    case StopReason::windowGone: return "window destroyed";
    case StopReason::quit: return "quit";
    case StopReason::none: break;
    }
    return "running";
}

StopReason runUntilStopped(FrontEnd& frontEnd, double interval, StopSignals& signals, const NotificationCenter& notifications,
                          const SaverRunSettings& run) {
    SaverLoop loop(signals, std::chrono::duration<double>(interval));
    const StopReason reason = loop.runAndAnnounce(frontEnd, notifications);
    if (run.verbose) {
        const char* cause = reason != StopReason::signal ? frontEnd.stopCause() : nullptr;
        std::fprintf(stderr, "%s: stopping (%s)\n", run.programName.c_str(), cause ? cause : describeStop(reason, loop.signal()));
    }
    return reason;
}

}  // namespace platform
