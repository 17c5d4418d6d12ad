// Presenting a 960 x 540 canvas on a 1920 x 1080 screen in software: the
// image copy, the scaled draw and the scanlines, beside a plain copy of the
// screen's framebuffer as the floor.
#include <benchmark/benchmark.h>

#include <cstring>

#include "QuillmoorMothwake/PixelSaverView.h"
#include "platform/SoftwareGraphicsContext.h"

namespace {

// A scene whose picture is already in the canvas: only presentation is measured.
class StillScene final : public quillmoor::PixelScene {
public:
    void step() override {}
    void draw(quillmoor::Canvas&) override {}
    uint64_t rngState() const override { return 0; }
};

class StillView final : public quillmoor::PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;
    double targetRows() const override { return 450; }
    std::unique_ptr<quillmoor::PixelScene> makeScene(int, int, uint64_t) override { return std::make_unique<StillScene>(); }
};

class FixedRandom final : public platform::SecureRandom {
public:
    uint64_t next64() override { return 1; }
};

void BM_PresentCanvas960x540On1920x1080(benchmark::State& state) {
    platform::Host host;
    FixedRandom random;
    host.secureRandom = &random;
    platform::Framebuffer fb(1920, 1080, state.range(0) ? platform::ChannelOrder::bgrx : platform::ChannelOrder::rgbx);
    platform::SoftwareGraphicsContext context(fb);
    StillView view(host, {0, 0, 1920, 1080}, false);
    platform::ViewRunner runner(view, context);
    runner.display();
    for (size_t i = 0; i < view.canvas()->px.size(); ++i) view.canvas()->px[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u);
    for (auto _ : state) {
        runner.display();
        benchmark::DoNotOptimize(fb.px.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1920 * 1080 * 4);
}
// Argument 1: a framebuffer in the X server's blue-first order.
BENCHMARK(BM_PresentCanvas960x540On1920x1080)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_MemcpyFramebuffer1920x1080(benchmark::State& state) {
    std::vector<uint32_t> from(1920 * 1080, 0xFF102030u), to(1920 * 1080);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1920 * 1080 * 4);
}
BENCHMARK(BM_MemcpyFramebuffer1920x1080)->Unit(benchmark::kMicrosecond);

}  // namespace
