#include <benchmark/benchmark.h>

#include "QuillmoorMothwake/Animals.h"

using quillmoor::Animals;

// One animal's entry: its whole frame set is rasterised anew.
static void BM_MakeFrames(benchmark::State& state) {
    const auto species = Animals::allSpecies[state.range(0)];
    const double scale = static_cast<double>(state.range(1));
    for (auto _ : state) {
        auto frames = Animals::makeFrames(species, scale);
        benchmark::DoNotOptimize(frames.data());
    }
}
BENCHMARK(BM_MakeFrames)
    ->ArgNames({"species", "scale"})
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->Unit(benchmark::kMicrosecond);
