// Stop requests on Windows: the console's control events. A control handler
// gets no context, so it finds the events this object made by their names,
// which carry the process id; nothing but the two events holds the state.
#include <windows.h>

#include <csignal>
#include <string>

#include "platform/StopSignals.h"

namespace platform {

namespace {

std::wstring eventName(const wchar_t* what) {
    return std::wstring(L"Local\\QuillmoorMothwake") + what + L"-" + std::to_wstring(GetCurrentProcessId());
}

bool setNamedEvent(const wchar_t* what) {
    const HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName(what).c_str());
    if (!event) return false;
    SetEvent(event);
    CloseHandle(event);
    return true;
}

BOOL WINAPI onConsoleControl(DWORD type) {
    // The interrupt mark first, so that whoever sees the stop sees its kind.
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) setNamedEvent(L"Interrupt");
    return setNamedEvent(L"Stop") ? TRUE : FALSE;
}

}  // namespace

const std::chrono::milliseconds StopSignals::saverGrace{50};

void StopSignals::block() {}

StopSignals::StopSignals(std::optional<std::chrono::milliseconds>, std::string) {
    arrived_ = CreateEventW(nullptr, TRUE, FALSE, eventName(L"Stop").c_str());
    interrupted_ = CreateEventW(nullptr, TRUE, FALSE, eventName(L"Interrupt").c_str());
    if (valid()) SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

StopSignals::~StopSignals() {
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    if (arrived_) CloseHandle(arrived_);
    if (interrupted_) CloseHandle(interrupted_);
}

int StopSignals::take() {
    if (!taken_ && arrived_ && WaitForSingleObject(arrived_, 0) == WAIT_OBJECT_0)
        taken_ = WaitForSingleObject(interrupted_, 0) == WAIT_OBJECT_0 ? SIGINT : SIGTERM;
    return taken_;
}

}  // namespace platform
