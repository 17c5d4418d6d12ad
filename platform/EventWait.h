#pragma once

#include <chrono>

namespace platform {

// What the frame loop sleeps on between frames. On POSIX systems a file
// descriptor that becomes readable; on Windows a handle that becomes
// signalled (the thread's message queue is always watched beside it, so a
// window front end needs no handle of its own and gives null).
#if defined(_WIN32)
using WaitHandle = void*;
#else
using WaitHandle = int;
#endif

// Which of the two things a wait watches had news.
struct WaitNews {
    bool display = false;
    bool signals = false;
};

// Sleeps until the display has news (its handle is ready or, on Windows, a
// message is waiting), a stop request has arrived (the stop signals' handle
// is ready), or the timeout has passed; without a timeout, indefinitely.
// A timeout of zero or less looks without sleeping.
WaitNews waitForNews(WaitHandle display, WaitHandle signals, const std::chrono::steady_clock::duration* timeout);

}  // namespace platform
