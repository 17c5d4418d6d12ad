#pragma once

namespace quillmoor {

// x to the power y, the same bits in the native and the WebAssembly builds.
// The C libraries of the two compute pow by one method (Arm's), but glibc on
// a processor with fused multiply-add takes a variant that rounds less, and
// the native traces were made with it. This is that variant, spelled out with
// std::fma, which is exact on every target, so native results do not change.
double power(double x, double y);

}  // namespace quillmoor
