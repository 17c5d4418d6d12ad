#pragma once

// Builds a function for AVX2 as well as the baseline, the loader picking the
// best one at start. WebAssembly has no such variants, and its compiler
// rejects the attribute; Windows executables have no loader-resolved
// functions (ifunc) for GCC to pick them with. There the function is built once.
#if defined(__EMSCRIPTEN__) || defined(_WIN32)
#define QUILLMOOR_TARGET_CLONES
#else
#define QUILLMOOR_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#endif
