#pragma once

#include <memory>

#include "platform/SaverSurface.h"
#include "platform/StopSignals.h"
#include "settings/SaverSettings.h"
#include "settings/SeedSource.h"

// What a saver program hands its front end: the host services (this process,
// the seeds the settings ask for, a stop request that ends a grown start
// early) and the factory of views for the chosen scene.
class SaverHost {
public:
    SaverHost(const SaverSettings& settings, platform::StopSignals& signals) : settings_(settings), seeds_(settings.seed) {
        host.process = platform::ProcessInfo::current();
        host.secureRandom = &seeds_;
        host.stopRequested = [&signals] { return signals.take() != 0; };
        makeView = [this](platform::Host& h, platform::Rect frame, bool isPreview) {
            return std::unique_ptr<platform::ScreenSaverView>(makeSaverView(settings_, h, frame, isPreview));
        };
    }
    SaverHost(const SaverHost&) = delete;
    SaverHost& operator=(const SaverHost&) = delete;

    // The seed of the scene made last.
    uint64_t lastSeed() const { return seeds_.last(); }

    platform::Host host;
    platform::ViewFactory makeView;

private:
    const SaverSettings& settings_;
    SeedSource seeds_;
};
