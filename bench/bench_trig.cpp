#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/RNG.h"

namespace {

enum class Range { cometAngle, meteorAngle, sparkPhase, sparkPhaseLate, legAngle, anyMagnitude };

// 4096 arguments as the scenes make them, and beyond.
std::vector<double> arguments(Range range) {
    quillmoor::RNG rng(0xbe7c);
    std::vector<double> xs(4096);
    for (double& x : xs) {
        switch (range) {
            case Range::cometAngle: x = 0.04 + rng.unit() * (0.28 - 0.04); break;
            case Range::meteorAngle: x = 0.3 + rng.unit() * 0.45; break;
            case Range::sparkPhase: x = static_cast<double>(rng.integer(100000)) * 0.2 + 6.28 * rng.unit(); break;
            case Range::sparkPhaseLate: x = static_cast<double>(rng.integer(1000000000)) * 0.2 + 6.28 * rng.unit(); break;
            case Range::legAngle: x = static_cast<double>(rng.integer(16)) * std::numbers::pi * 0.25; break;
            case Range::anyMagnitude: x = std::ldexp(1 + rng.unit(), static_cast<int>(rng.integer(-20, 1000))); break;
        }
    }
    return xs;
}

double librarySine(double x) { return std::sin(x); }
double libraryCosine(double x) { return std::cos(x); }

// The time of one call, ours against the C library's.
void BM_Trig(benchmark::State& state, double (*f)(double), Range range) {
    const std::vector<double> xs = arguments(range);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(xs[i]));
        i = (i + 1) % xs.size();
    }
}

}  // namespace

#define QUILLMOOR_TRIG_BENCHMARKS(name, range)                                 \
    BENCHMARK_CAPTURE(BM_Trig, sine_##name, quillmoor::sine, range);           \
    BENCHMARK_CAPTURE(BM_Trig, std_sin_##name, librarySine, range);            \
    BENCHMARK_CAPTURE(BM_Trig, cosine_##name, quillmoor::cosine, range);       \
    BENCHMARK_CAPTURE(BM_Trig, std_cos_##name, libraryCosine, range)

QUILLMOOR_TRIG_BENCHMARKS(comet_angle, Range::cometAngle);
QUILLMOOR_TRIG_BENCHMARKS(meteor_angle, Range::meteorAngle);
QUILLMOOR_TRIG_BENCHMARKS(spark_phase, Range::sparkPhase);
QUILLMOOR_TRIG_BENCHMARKS(spark_phase_late, Range::sparkPhaseLate);
QUILLMOOR_TRIG_BENCHMARKS(leg_angle, Range::legAngle);
QUILLMOOR_TRIG_BENCHMARKS(any_magnitude, Range::anyMagnitude);
