#pragma once

#include <cstdint>
#include <cstdio>

#include "apps/RenderOptions.h"

// FNV-1a 64 over the canvas bytes in memory order: red, green, blue, X per pixel.
uint64_t canvasFingerprint(const uint32_t* pixels, size_t count);

// Runs the saver without a display as the options say: traces to out,
// messages and progress to err. Returns the process exit status.
int renderHeadless(const RenderOptions& options, FILE* out, FILE* err);
