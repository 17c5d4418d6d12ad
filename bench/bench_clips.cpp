// Clips at 1920 x 1080: encoding a second of forest frames as lossless WebP
// and as H.264 MP4, beside rendering those frames, with the size a second
// of clip takes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/HeadlessRenderer.h"
#include "platform/ClipWriter.h"

namespace {

constexpr int64_t warmUpFrames = 300;  // fires, sparks and fireflies under way
constexpr int64_t clipFrames = 30;     // one second

RenderOptions forestScreen() {
    RenderOptions o;
    o.screen = {1920, 1080};
    o.seed = 0x2a;
    return o;
}

std::vector<std::vector<uint32_t>> renderFrames() {
    HeadlessRun run(forestScreen(), stderr);
    std::vector<std::vector<uint32_t>> frames;
    for (int64_t frame = 0; frame < warmUpFrames + clipFrames; ++frame) {
        run.advance(frame, true);
        const FrameView v = run.screen();
        if (frame >= warmUpFrames) frames.emplace_back(v.pixels, v.pixels + static_cast<size_t>(v.width) * static_cast<size_t>(v.height));
    }
    return frames;
}

void BM_RenderScreenFrame1920x1080(benchmark::State& state) {
    HeadlessRun run(forestScreen(), stderr);
    int64_t frame = 0;
    for (; frame < warmUpFrames; ++frame) run.advance(frame, true);
    for (auto _ : state) run.advance(frame++, true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderScreenFrame1920x1080)->Unit(benchmark::kMillisecond);

// Argument: 0 for WebP, 1 for MP4. Time is per second of clip (30 frames);
// items are frames.
void BM_EncodeClipSecond1920x1080(benchmark::State& state) {
    const auto frames = renderFrames();
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("quillmoor-bench-" + std::to_string(getpid()) + (state.range(0) ? ".mp4" : ".webp")))
                                 .string();
    for (auto _ : state) {
        std::string error;
        auto clip = platform::openClipWriter(path, 1920, 1080, error);
        if (!clip) {
            state.SkipWithError(error.c_str());
            return;
        }
        for (const auto& f : frames) clip->addFrame(f.data());
        if (!clip->finish()) {
            state.SkipWithError(clip->error().c_str());
            return;
        }
    }
    state.counters["MB_per_clip_second"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    state.SetItemsProcessed(state.iterations() * clipFrames);
    std::filesystem::remove(path);
}
// x264 encodes on threads of its own: CPU time is the whole process's.
BENCHMARK(BM_EncodeClipSecond1920x1080)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->MeasureProcessCPUTime();

}  // namespace
