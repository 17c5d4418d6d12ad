#pragma once

#include <cstddef>
#include <cstdint>

#include "QuillmoorMothwake/QuillmoorScene.h"

namespace forest_bench {

template <class T>
std::size_t heldBytes(const std::vector<T>& v) {
    return v.capacity() * sizeof(T);
}

// Bytes the forest scene holds in its per-pixel buffers and its lists,
// counted by capacity, so that memory a list keeps after shrinking counts.
inline double sceneBytes(const quillmoor::QuillmoorScene& scene) {
    std::size_t bytes = sizeof(quillmoor::QuillmoorScene);
    bytes += heldBytes(scene.base) + heldBytes(scene.buf) + heldBytes(scene.owner);
    bytes += heldBytes(scene.skyMask) + heldBytes(scene.tentMask) + heldBytes(scene.painted) + heldBytes(scene.stick);
    bytes += heldBytes(scene.skyRow) + heldBytes(scene.moon) + heldBytes(scene.flies);
    bytes += heldBytes(scene.trees) + heldBytes(scene.pending) + heldBytes(scene.recent[0]) + heldBytes(scene.recent[1]) +
             heldBytes(scene.treeRenumbering);
    bytes += heldBytes(scene.camps) + heldBytes(scene.lit) + heldBytes(scene.overlay) + heldBytes(scene.sparks);
    for (const auto& camp : scene.camps) bytes += heldBytes(camp.heat);
    bytes += heldBytes(scene.clearings) + heldBytes(scene.fireColumns) + heldBytes(scene.blockOrigins);
    return static_cast<double>(bytes);
}

}  // namespace forest_bench
