#pragma once

namespace quillmoor {

// x to the power y, the same bits in the native and the WebAssembly builds.
// The C libraries of the two compute pow by one method (Arm's), but glibc on
// a processor with fused multiply-add takes a variant that rounds less, and
// the native traces were made with it. This is that variant, spelled out with
// std::fma, which is exact on every target, so native results do not change.
double power(double x, double y);

// sin x and cos x rounded to the nearest double, the same bits in every
// build: the C libraries' own differ in the last bit now and then. NaN for
// infinities and NaN.
double sine(double x);
double cosine(double x);

}  // namespace quillmoor
