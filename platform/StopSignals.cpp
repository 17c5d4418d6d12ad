#include "platform/StopSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace platform {

namespace {

sigset_t stopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

void StopSignals::block() {
    const sigset_t set = stopSet();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

StopSignals::StopSignals() {
    block();
    const sigset_t set = stopSet();
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

StopSignals::~StopSignals() {
    if (fd_ >= 0) close(fd_);
}

int StopSignals::take() {
    if (taken_ || fd_ < 0) return taken_;
    signalfd_siginfo info{};
    if (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) taken_ = static_cast<int>(info.ssi_signo);
    return taken_;
}

}  // namespace platform
