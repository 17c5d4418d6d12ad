// A whole frame as a desktop front end makes it: the forest or the skyline
// view steps, draws and is presented into a screen-sized framebuffer, only
// where the picture changed. This is what the saver costs per frame apart
// from the display server, in steady state (after two minutes of frames).
#include <benchmark/benchmark.h>

#include "QuillmoorMothwake/GlimmerfoldView.h"
#include "QuillmoorMothwake/QuillmoorMothwakeView.h"
#include "platform/SaverSurface.h"

namespace {

class FixedRandom final : public platform::SecureRandom {
public:
    uint64_t next64() override { return 7; }
};

std::unique_ptr<platform::ScreenSaverView> makeView(platform::Host& host, int width, int height, bool skyline) {
    const platform::Rect frame{0, 0, double(width), double(height)};
    if (skyline) return std::make_unique<quillmoor::GlimmerfoldView>(host, frame, false, quillmoor::SceneSettings{});
    return std::make_unique<quillmoor::QuillmoorMothwakeView>(host, frame, false, quillmoor::SceneSettings{});
}

void BM_SaverFrame(benchmark::State& state) {
    const int height = static_cast<int>(state.range(0)), width = height * 16 / 9;
    FixedRandom random;
    platform::Host host;
    host.secureRandom = &random;
    platform::SaverSurface surface(makeView(host, width, height, state.range(1) != 0), width, height);
    surface.useOwnFramebuffer(platform::ChannelOrder::bgrx);
    for (int i = 0; i < 3600; ++i) surface.renderFrame(nullptr);
    int64_t damaged = 0;
    for (auto _ : state) {
        surface.renderFrame(nullptr);
        damaged += surface.damage().area();
    }
    state.counters["damage%"] = 100.0 * static_cast<double>(damaged) / static_cast<double>(state.iterations()) / (double(width) * height);
}
// rows: screen height; scene: 0 forest, 1 skyline.
BENCHMARK(BM_SaverFrame)->ArgsProduct({{1080, 2160}, {0, 1}})->ArgNames({"rows", "scene"})->Unit(benchmark::kMicrosecond);

}  // namespace
