// The wait between frames on Windows: the thread's message queue and the stop
// signals' event, with the frame deadline kept by a waitable timer. Plain
// wait timeouts count in whole milliseconds and are rounded up to the system
// tick (often 15.6 ms), which would put a 30 fps grid off by half a frame; a
// high-resolution timer (Windows 10 1803 and later) wakes within about a
// millisecond, and where it cannot be made an ordinary one is used.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "platform/EventWait.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace platform {

namespace {

// A one-shot timer that fires after the timeout; closed with the object.
class DeadlineTimer {
public:
    explicit DeadlineTimer(std::chrono::steady_clock::duration timeout) {
        handle_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
        if (!handle_) handle_ = CreateWaitableTimerW(nullptr, TRUE, nullptr);
        if (!handle_) return;
        // Negative: relative to now, in units of 100 ns.
        const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count() / 100;
        LARGE_INTEGER due{};
        due.QuadPart = -std::max<long long>(ticks, 1);
        if (!SetWaitableTimer(handle_, &due, 0, nullptr, nullptr, FALSE)) {
            CloseHandle(handle_);
            handle_ = nullptr;
        }
    }
    ~DeadlineTimer() {
        if (handle_) CloseHandle(handle_);
    }
    DeadlineTimer(const DeadlineTimer&) = delete;
    DeadlineTimer& operator=(const DeadlineTimer&) = delete;

    HANDLE handle() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// Whole milliseconds, rounded up, for when no timer could be made.
DWORD millisecondsUp(std::chrono::steady_clock::duration timeout) {
    return static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(timeout).count());
}

}  // namespace

WaitNews waitForNews(WaitHandle display, WaitHandle signals, const std::chrono::steady_clock::duration* timeout) {
    const bool poll = timeout && *timeout <= std::chrono::steady_clock::duration::zero();
    HANDLE handles[3];
    DWORD count = 0;
    handles[count++] = signals;
    const DWORD displayIndex = display ? count : MAXIMUM_WAIT_OBJECTS;
    if (display) handles[count++] = display;
    std::optional<DeadlineTimer> timer;
    DWORD milliseconds = INFINITE;
    if (poll) {
        milliseconds = 0;
    } else if (timeout) {
        timer.emplace(*timeout);
        if (timer->handle())
            handles[count++] = timer->handle();
        else
            milliseconds = millisecondsUp(*timeout);
    }
    // Input already in the queue counts even when an earlier peek saw it.
    const DWORD woke = MsgWaitForMultipleObjectsEx(count, handles, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) return {false, true};
    if (woke == WAIT_OBJECT_0 + displayIndex || woke == WAIT_OBJECT_0 + count) return {true, false};
    return {};
}

}  // namespace platform
