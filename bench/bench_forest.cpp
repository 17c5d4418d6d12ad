#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/QuillmoorScene.h"
#include "bench/forest_bytes.h"

using forest_bench::sceneBytes;
using quillmoor::Canvas;
using quillmoor::QuillmoorScene;

namespace {

constexpr int width = 960;
constexpr int height = 540;

// Resident pages of the process, in bytes.
double residentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * 4096.0;
}

// Memory of one scene after the forest has filled in: the growth of the
// process's resident set, and the bytes its buffers and lists hold.
void BM_ForestResidentMemory(benchmark::State& state) {
    for (auto _ : state) {
        const double before = residentBytes();
        auto scene = std::make_unique<QuillmoorScene>(width, height, 3, QuillmoorScene::defaultPanFrames);
        Canvas canvas(width, height);
        for (int i = 0; i < 600; ++i) {
            scene->step();
            scene->draw(canvas);
        }
        state.counters["rssDeltaMiB"] = (residentBytes() - before) / (1024.0 * 1024.0);
        state.counters["sceneMiB"] = sceneBytes(*scene) / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_ForestResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void constructScenes(benchmark::State& state) {
    uint64_t seed = 1;
    for (auto _ : state) {
        QuillmoorScene scene(width, height, seed++, QuillmoorScene::defaultPanFrames);
        benchmark::DoNotOptimize(scene.rngState());
    }
}

void BM_ForestConstruction(benchmark::State& state) { constructScenes(state); }
BENCHMARK(BM_ForestConstruction)->Unit(benchmark::kMillisecond);

// The same with freed memory kept by the process, so that the world buffers
// land on pages already mapped: the work of construction without the cost of
// first touching about 11 MiB of fresh pages, which dominates on some hosts.
void BM_ForestConstructionWarmPages(benchmark::State& state) {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    constructScenes(state);
}
BENCHMARK(BM_ForestConstructionWarmPages)->Unit(benchmark::kMillisecond);

// One frame (step and draw) in steady state, after the forest has filled in,
// timed alternately with a copy of the whole canvas so that both see the same
// machine load; vsMemcpy is the ratio of the two.
void BM_ForestFrame(benchmark::State& state) {
    QuillmoorScene scene(width, height, 7, QuillmoorScene::defaultPanFrames);
    Canvas canvas(width, height);
    Canvas copy(width, height);
    for (int i = 0; i < 600; ++i) {
        scene.step();
        scene.draw(canvas);
    }
    using Clock = std::chrono::steady_clock;
    double frameSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        scene.step();
        scene.draw(canvas);
        benchmark::DoNotOptimize(canvas.px.data());
        const auto t1 = Clock::now();
        std::memcpy(copy.px.data(), canvas.px.data(), canvas.px.size() * sizeof(uint32_t));
        benchmark::DoNotOptimize(copy.px.data());
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        frameSeconds += std::chrono::duration<double>(t1 - t0).count();
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    state.counters["memcpyUs"] = copySeconds / static_cast<double>(state.iterations()) * 1e6;
    state.counters["vsMemcpy"] = frameSeconds / copySeconds;
    state.counters["memMiB"] = sceneBytes(scene) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ForestFrame)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same frame with a moose walking near a fire, a comet and a shooting star
// in flight. Between timed frames (untimed) the sky events are put back at
// their starting points and the moose is kept on the canvas, so every timed
// frame steps and draws all three.
void BM_ForestFrameWithEvents(benchmark::State& state) {
    QuillmoorScene scene(width, height, 7, QuillmoorScene::defaultPanFrames);
    scene.animals = quillmoor::Animals("moose");
    Canvas canvas(width, height);
    Canvas copy(width, height);
    for (int i = 0; i < 600; ++i) {
        scene.step();
        scene.draw(canvas);
    }
    int fireX = width / 2;
    for (const auto& camp : scene.camps)
        if (camp.fireX > 100 && camp.fireX < width - 100) fireX = camp.fireX;
    const double sc = height / 270.0;
    const quillmoor::Meteors::Meteor meteor{width * 0.5, scene.groundY * 0.1, 0.8, 0.6, sc * 4, 30};
    const quillmoor::Comets::Comet comet{width * 0.3, scene.groundY * 0.1, 0.99, 0.1, sc};
    const double animalX = fireX - 80.0;

    using Clock = std::chrono::steady_clock;
    double frameSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        scene.meteors.current = meteor;
        scene.comets.current = comet;
        auto& walker = scene.animals.current.value();
        walker.x = animalX;
        walker.pause = 0;
        walker.pauseAt.reset();
        const auto t0 = Clock::now();
        scene.step();
        scene.draw(canvas);
        benchmark::DoNotOptimize(canvas.px.data());
        const auto t1 = Clock::now();
        std::memcpy(copy.px.data(), canvas.px.data(), canvas.px.size() * sizeof(uint32_t));
        benchmark::DoNotOptimize(copy.px.data());
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        frameSeconds += std::chrono::duration<double>(t1 - t0).count();
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    if (!scene.meteors.current || !scene.comets.current || !scene.animals.current) state.SkipWithError("an event ended");
    state.counters["memcpyUs"] = copySeconds / static_cast<double>(state.iterations()) * 1e6;
    state.counters["vsMemcpy"] = frameSeconds / copySeconds;
}
BENCHMARK(BM_ForestFrameWithEvents)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The yardstick for a frame: copying the whole canvas once.
void BM_CanvasMemcpy(benchmark::State& state) {
    Canvas source(width, height);
    Canvas target(width, height);
    for (auto _ : state) {
        std::memcpy(target.px.data(), source.px.data(), source.px.size() * sizeof(uint32_t));
        benchmark::DoNotOptimize(target.px.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CanvasMemcpy)->Unit(benchmark::kMicrosecond);

// Frames per second when the world scrolls on every frame.
void BM_ForestFramePanEveryFrame(benchmark::State& state) {
    QuillmoorScene scene(width, height, 11, 1);
    Canvas canvas(width, height);
    for (auto _ : state) {
        scene.step();
        scene.draw(canvas);
        benchmark::DoNotOptimize(canvas.px.data());
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ForestFramePanEveryFrame)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace
