#include "platform/EventWait.h"

#include <poll.h>

#include <algorithm>
#include <ctime>

namespace platform {

WaitNews waitForNews(WaitHandle display, WaitHandle signals, const std::chrono::steady_clock::duration* timeout) {
    pollfd waits[2] = {{display, POLLIN, 0}, {signals, POLLIN, 0}};
    timespec until{};
    if (timeout) {
        const auto ns = std::max<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count(), 0);
        until = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    }
    if (ppoll(waits, 2, timeout ? &until : nullptr, nullptr) <= 0) return {};
    return {(waits[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0, waits[1].revents != 0};
}

}  // namespace platform
