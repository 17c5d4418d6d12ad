#include <benchmark/benchmark.h>

#include "QuillmoorMothwake/GlimmerfoldScene.h"

using quillmoor::Canvas;
using quillmoor::GlimmerfoldScene;

// One frame at the canvas a 1920 x 1080 screen gets at 225 target rows, after
// the city has lit up for 30 s.
static void BM_SkylineFrame(benchmark::State& state) {
    GlimmerfoldScene scene(480, 270, 1234, GlimmerfoldScene::defaultPanFrames);
    Canvas canvas(480, 270);
    for (int i = 0; i < 900; ++i) scene.step();
    for (auto _ : state) {
        scene.step();
        scene.draw(canvas);
        benchmark::DoNotOptimize(canvas.px.data());
    }
}
BENCHMARK(BM_SkylineFrame);

static void BM_SkylinePan(benchmark::State& state) {
    GlimmerfoldScene scene(480, 270, 1234, GlimmerfoldScene::defaultPanFrames);
    for (auto _ : state) {
        scene.pan();
        benchmark::DoNotOptimize(scene.owner.data());
    }
}
BENCHMARK(BM_SkylinePan);
