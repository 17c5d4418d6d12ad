// Presenting a 960 x 540 canvas in software on a 1920 x 1080 screen (scale 2)
// and a 3840 x 2160 one (scale 4): the image copy, the scaled draw and the
// scanlines, drawn whole every frame (tracked:0) or only where the picture
// changed (tracked:1). The canvas changes a little between frames (0.1 % of
// its pixels, scattered one by one or in small clusters) or everywhere.
// Compare tracked:1 with tracked:0 of the same size and change.
#include <benchmark/benchmark.h>

#include <cstring>

#include "QuillmoorMothwake/PixelSaverView.h"
#include "QuillmoorMothwake/RNG.h"
#include "platform/SoftwareGraphicsContext.h"

namespace {

enum class Change { scattered, clustered, everything };

// A scene whose canvas the benchmark changes between frames, outside the
// timing, so only presentation is measured.
class ChangingScene final : public quillmoor::PixelScene {
public:
    ChangingScene(int width, int height, Change change) : change_(change) {
        quillmoor::RNG rng(7);
        const int64_t count = int64_t{width} * height / 1000;
        if (change == Change::scattered)
            for (int64_t i = 0; i < count; ++i) changed_.push_back(static_cast<size_t>(rng.integer(int64_t{width} * height)));
        // Clusters of 6 x 6 pixels, as fires, sparks and animals make them.
        if (change == Change::clustered)
            for (int64_t i = 0; i < count / 36; ++i) {
                const int x = static_cast<int>(rng.integer(width - 6)), y = static_cast<int>(rng.integer(height - 6));
                for (int dy = 0; dy < 6; ++dy)
                    for (int dx = 0; dx < 6; ++dx) changed_.push_back(static_cast<size_t>(y + dy) * width + x + dx);
            }
    }
    void step() override {}
    void draw(quillmoor::Canvas&) override {}
    // Changes the canvas as a scene does, marking what it writes.
    void change(quillmoor::Canvas& canvas) const {
        canvas.beginMarkedDrawing(this);
        if (change_ == Change::everything) {
            for (uint32_t& p : canvas.px) p ^= 0x00010101u;
            canvas.markAll();
            return;
        }
        for (size_t i : changed_) {
            canvas.px[i] ^= 0x00010101u;
            canvas.mark(static_cast<int>(i % static_cast<size_t>(canvas.width)), static_cast<int>(i / static_cast<size_t>(canvas.width)));
        }
    }
    uint64_t rngState() const override { return 0; }

private:
    Change change_;
    std::vector<size_t> changed_;
};

class ChangingView final : public quillmoor::PixelSaverView {
public:
    ChangingView(platform::Host& host, platform::Rect frame, Change change) : PixelSaverView(host, frame, false), change_(change) {}
    double targetRows() const override { return 450; }
    std::unique_ptr<quillmoor::PixelScene> makeScene(int w, int h, uint64_t) override {
        return std::make_unique<ChangingScene>(w, h, change_);
    }

private:
    Change change_;
};

class FixedRandom final : public platform::SecureRandom {
public:
    uint64_t next64() override { return 1; }
};

void BM_Present(benchmark::State& state) {
    const int height = static_cast<int>(state.range(0)), width = height * 16 / 9;
    const bool tracked = state.range(1) != 0;
    platform::Host host;
    FixedRandom random;
    host.secureRandom = &random;
    platform::Framebuffer fb(width, height, platform::ChannelOrder::bgrx);
    platform::SoftwareGraphicsContext context(fb);
    ChangingView view(host, {0, 0, double(width), double(height)}, static_cast<Change>(state.range(2)));
    platform::ViewRunner runner(view, context);
    runner.display();
    for (size_t i = 0; i < view.canvas()->px.size(); ++i) view.canvas()->px[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u);
    const auto frame = [&] {
        if (!tracked) {
            runner.tick();
            return;
        }
        context.beginFrame();
        runner.tick();
        context.endFrame();
    };
    frame();
    auto& scene = static_cast<ChangingScene&>(*view.scene());
    int64_t damaged = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene.change(*view.canvas());
        state.ResumeTiming();
        frame();
        damaged += context.damage().area();
        benchmark::DoNotOptimize(fb.px.data());
        benchmark::ClobberMemory();
    }
    state.counters["damage%"] = tracked ? 100.0 * static_cast<double>(damaged) / static_cast<double>(state.iterations()) / (double(width) * height) : 100;
}
// rows: screen height; tracked: 0 whole frames, 1 damage tracking; change: 0 scattered, 1 clustered, 2 everything.
BENCHMARK(BM_Present)
    ->ArgsProduct({{1080, 2160}, {0, 1}, {0, 1, 2}})
    ->ArgNames({"rows", "tracked", "change"})
    ->Unit(benchmark::kMicrosecond);

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
