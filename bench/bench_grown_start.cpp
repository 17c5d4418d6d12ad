// The time to the first picture as a desktop front end has it: the view is
// made, its scene built (and with -grown stepped to its grown frame without
// drawing), drawn and presented into a screen-sized framebuffer. Only the
// display server's part is left out.
#include <benchmark/benchmark.h>

#include "platform/SaverSurface.h"
#include "settings/SaverSettings.h"

namespace {

class FixedRandom final : public platform::SecureRandom {
public:
    uint64_t next64() override { return 7; }
};

void BM_FirstPicture(benchmark::State& state) {
    const int height = static_cast<int>(state.range(0)), width = height * 16 / 9;
    SaverSettings settings;
    settings.scene = state.range(1) ? "skyline" : "forest";
    settings.grown = state.range(2) != 0;
    FixedRandom random;
    platform::Host host;
    host.secureRandom = &random;
    const platform::Rect frame{0, 0, double(width), double(height)};
    for (auto _ : state) {
        platform::SaverSurface surface(makeSaverView(settings, host, frame, false), width, height);
        surface.useOwnFramebuffer(platform::ChannelOrder::bgrx);
        surface.renderFrame(nullptr);
        benchmark::DoNotOptimize(surface.ownFramebuffer().px.data());
    }
}
// rows: screen height; scene: 0 forest, 1 skyline; grown: 0 the empty start, 1 -grown.
BENCHMARK(BM_FirstPicture)
    ->ArgsProduct({{1080, 2160}, {0, 1}, {0, 1}})
    ->ArgNames({"rows", "scene", "grown"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
