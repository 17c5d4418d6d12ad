#pragma once

#include <cstdint>

#include "QuillmoorMothwake/QuillmoorScene.h"
#include "QuillmoorMothwake/RNG.h"

namespace forest_support {

// How many generator steps lead from one state to another (-1 beyond a limit).
inline int drawsBetween(uint64_t before, uint64_t after, int limit = 100000) {
    quillmoor::RNG r(before);
    for (int n = 0; n <= limit; ++n) {
        if (r.state == after) return n;
        r.next();
    }
    return -1;
}

// A scene whose world holds only sky and ground: no trees, camps or lit pixels.
inline void clearWorld(quillmoor::QuillmoorScene& scene) {
    scene.resetAllColumns();
    scene.trees.clear();
    scene.camps.clear();
    scene.lit.clear();
    scene.overlay.clear();
    scene.sparks.clear();
    scene.recent = {};
}

}  // namespace forest_support
