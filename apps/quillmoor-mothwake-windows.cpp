// The saver for Windows, quillmoor-mothwake.scr: full screen on every monitor
// (/s), the settings' small preview (/p HWND), its settings dialog (/c), and
// the command line Windows uses for screen savers. The settings are kept in
// the registry; the options of /s and /p win over them. For tests, QUILLMOOR_PIXELS_OUT=FILE writes the
// first window's picture to FILE after every frame (binary PPM).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "apps/ScrCommandLine.h"
#include "apps/TestHooks.h"
#include "frontends/windows/RegistrySettings.h"
#include "frontends/windows/SettingsDialog.h"
#include "frontends/windows/WindowsSaver.h"
#include "settings/SaverHost.h"
#include "settings/StoredSettings.h"

namespace {

constexpr const char* programName = "quillmoor-mothwake";
constexpr const char* windowTitle = "Quillmoor Mothwake";

void showMessage(HWND owner, const std::string& text, UINT icon) {
    MessageBoxA(owner, text.c_str(), windowTitle, MB_OK | icon);
}

int runSaver(const ScrCommand& command) {
    platform::StopSignals signals(platform::StopSignals::saverGrace, command.verbose ? programName : "");
    SaverHost saverHost(command.settings, signals);
    platform::WindowsSaverConfig config;
    config.target = command.mode == ScrMode::preview ? platform::WindowsTarget::preview : platform::WindowsTarget::screens;
    config.parent = command.window;
    if (const char* path = std::getenv("QUILLMOOR_PIXELS_OUT")) config.pixelsOut = path;
    config.run = {command.settings.showFps, command.verbose, programName, windowTitle, command.frames, testFrameDelay()};
    return platform::runWindowsSaver(saverHost.host, signals, config, saverHost.makeView);
}

// The settings dialog, modal to the window given (else the foreground
// window); OK keeps what was chosen.
int changeSettings(const ScrCommand& command) {
    const HWND owner = command.window ? reinterpret_cast<HWND>(command.window) : GetForegroundWindow();
    SaverSettings settings = command.settings;
    switch (platform::showSettingsDialog(owner, settings)) {
    case platform::DialogAnswer::cancel: return 0;
    case platform::DialogAnswer::failed:
        std::fprintf(stderr, "%s: cannot show the settings dialog\n", programName);
        return 1;
    case platform::DialogAnswer::ok: break;
    }
    if (const auto error = platform::writeRegistrySettings(storedValuesOf(settings))) {
        std::fprintf(stderr, "%s: %s\n", programName, error->c_str());
        showMessage(owner, *error, MB_ICONERROR);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const StoredRead stored = readStoredSettings(platform::readRegistrySettings());
    const auto parsed = parseScrCommandLine(args, stored.settings);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "%s: %s\n", programName, error->c_str());
        showMessage(nullptr, *error, MB_ICONERROR);
        return 2;
    }
    const ScrCommand& command = std::get<ScrCommand>(parsed);
    if (command.verbose)
        for (const std::string& line : stored.ignored) std::fprintf(stderr, "%s: %s\n", programName, line.c_str());
    switch (command.mode) {
    case ScrMode::password: return 0;
    case ScrMode::settings: return changeSettings(command);
    case ScrMode::saver:
    case ScrMode::preview: break;
    }
    return runSaver(command);
}
