#pragma once

#include <cstdint>

namespace quillmoor {

class Canvas;

// What a view needs of a scene. A scene is built for one canvas size and
// seed; everything random in it derives from that seed.
class PixelScene {
public:
    virtual ~PixelScene() = default;

    // One animation frame (1/30 s of scene time).
    virtual void step() = 0;

    // Writes the current picture into a canvas of the scene's size.
    virtual void draw(Canvas& canvas) = 0;

    // The state of the scene's generator, for traces.
    virtual uint64_t rngState() const = 0;
};

}  // namespace quillmoor
