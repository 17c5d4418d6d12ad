#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Image.h"

namespace platform {

namespace changed_spans_detail {

inline constexpr int chunkPixels = 16;
inline constexpr int gapChunks = 1;

// Sets flags[k] when pixels [k chunkPixels, (k + 1) chunkPixels) of the
// count differ between a and b; true when any does.
inline bool markChangedChunks(const uint32_t* __restrict a, const uint32_t* __restrict b, int count, uint8_t* __restrict flags) {
    // A chunk is 64 bytes: two vectors of four 64-bit lanes (one AVX2 register
    // each, or two SSE2 ones: it is used from code that cannot pick at load time).
    static_assert(chunkPixels == 16);
    using Lanes = uint64_t __attribute__((vector_size(32)));
    const int whole = count / chunkPixels;
    uint64_t anyChunk = 0;
    for (int k = 0; k < whole; ++k) {
        Lanes a0, a1, b0, b1;
        std::memcpy(&a0, a + k * chunkPixels, sizeof a0);
        std::memcpy(&a1, a + k * chunkPixels + 8, sizeof a1);
        std::memcpy(&b0, b + k * chunkPixels, sizeof b0);
        std::memcpy(&b1, b + k * chunkPixels + 8, sizeof b1);
        const Lanes x = (a0 ^ b0) | (a1 ^ b1);
        const uint64_t any = x[0] | x[1] | x[2] | x[3];
        flags[k] = any != 0;
        anyChunk |= any;
    }
    if (whole * chunkPixels < count) {
        uint32_t any = 0;
        for (int i = whole * chunkPixels; i < count; ++i) any |= a[i] ^ b[i];
        flags[whole] = any != 0;
        anyChunk |= any;
    }
    return anyChunk != 0;
}

}  // namespace changed_spans_detail

// Appends to spans the columns of one row, within x0 .. x1 - 1, where before
// and after differ, left to right. Pixels are compared a chunk of 16 at a
// time; changed chunks at most one unchanged chunk apart make one span, since
// redrawing a few unchanged pixels costs less than another rectangle. Every
// span starts and ends on a changed pixel. chunkFlags is scratch.
inline void findChangedSpans(const uint32_t* before, const uint32_t* after, int x0, int x1, std::vector<uint8_t>& chunkFlags,
                             std::vector<ImageChanges::Span>& spans) {
    using namespace changed_spans_detail;
    if (x1 <= x0) return;
    const int chunks = (x1 - x0 + chunkPixels - 1) / chunkPixels;
    chunkFlags.resize(static_cast<size_t>(chunks));
    if (!markChangedChunks(before + x0, after + x0, x1 - x0, chunkFlags.data())) return;
    for (int k = 0; k < chunks;) {
        if (!chunkFlags[k]) {
            ++k;
            continue;
        }
        // Extend over changed chunks and short unchanged gaps.
        int last = k;
        for (int next = k + 1; next < chunks && next - last <= gapChunks + 1; ++next)
            if (chunkFlags[next]) last = next;
        // The span runs from the first to the last changed pixel exactly.
        int first = x0 + k * chunkPixels, end = std::min(x1, x0 + (last + 1) * chunkPixels) - 1;
        while (before[first] == after[first]) ++first;
        while (before[end] == after[end]) --end;
        spans.push_back({first, end + 1});
        k = last + 1;
    }
}

}  // namespace platform
