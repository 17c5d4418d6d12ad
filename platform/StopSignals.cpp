#include "platform/StopSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace platform {

namespace {

sigset_t stopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

void notify(int fd) {
    const std::uint64_t one = 1;
    while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {}
}

// Waits until fd is readable or the timeout (negative: none) has passed.
bool readable(int fd, int timeoutMs) {
    pollfd wait{fd, POLLIN, 0};
    for (;;) {
        const int ready = poll(&wait, 1, timeoutMs);
        if (ready >= 0 || errno != EINTR) return ready > 0;
    }
}

void closeIfOpen(int fd) {
    if (fd >= 0) close(fd);
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
const std::chrono::milliseconds StopSignals::saverGrace{700};
#else
const std::chrono::milliseconds StopSignals::saverGrace{50};
#endif

void StopSignals::block() {
    const sigset_t set = stopSet();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

StopSignals::StopSignals(std::optional<std::chrono::milliseconds> grace, std::string reportPrefix)
    : grace_(grace), reportPrefix_(std::move(reportPrefix)) {
    block();  // before the thread starts, so it and every later thread inherit the mask
    const sigset_t set = stopSet();
    signalFd_ = signalfd(-1, &set, SFD_CLOEXEC);
    arrived_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    doneFd_ = eventfd(0, EFD_CLOEXEC);
    if (signalFd_ < 0 || arrived_ < 0 || doneFd_ < 0) return;
    try {
        watcher_ = std::thread([this] { watch(); });
    } catch (const std::system_error&) {
    }
}

StopSignals::~StopSignals() {
    if (watcher_.joinable()) {
        notify(doneFd_);
        watcher_.join();
    }
    closeIfOpen(signalFd_);
    closeIfOpen(arrived_);
    closeIfOpen(doneFd_);
}

int StopSignals::take() {
    if (!taken_) taken_ = arrivedSignal_.load(std::memory_order_acquire);
    return taken_;
}

void StopSignals::watch() {
    const int signal = awaitSignal();
    if (!signal) return;
    arrivedSignal_.store(signal, std::memory_order_release);
    notify(arrived_);
    if (!grace_ || readable(doneFd_, static_cast<int>(grace_->count()))) return;
    forceExit(signal);
}

int StopSignals::awaitSignal() const {
    pollfd waits[2] = {{signalFd_, POLLIN, 0}, {doneFd_, POLLIN, 0}};
    for (;;) {
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (waits[1].revents) return 0;  // destroyed before any stop request
        signalfd_siginfo info{};
        if (read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            return static_cast<int>(info.ssi_signo);
    }
}

void StopSignals::forceExit(int signal) const {
    if (!reportPrefix_.empty()) {
        // write(2), not stdio: the main thread may hold the stream's lock.
        const std::string line = reportPrefix_ + ": stopping (" + (signal == SIGINT ? "SIGINT" : "SIGTERM") + ")\n";
        [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
    }
    _exit(0);
}

}  // namespace platform
