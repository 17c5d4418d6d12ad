#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/PixelPredicate.h"
#include "QuillmoorMothwake/RNG.h"

namespace quillmoor {

// Comets: rare, slow, with a dithered tail; drawn behind foreground objects.
class Comets {
public:
    struct Comet {
        double x = 0, y = 0;    // head centre, canvas pixels
        double dx = 0, dy = 0;  // unit direction of flight
        double speed = 0;       // pixels per frame
    };

    Comets();

    // Tail segments (one pixel apart): 45 sky units, never fewer than eight.
    static int tailSegments(double scale);
    // Head diameter in pixels: two sky units plus one, never below two.
    static int headDiameter(double scale);

    void step(RNG& rng, int width, int maxY, double scale);
    void draw(Canvas& canvas, double scale, PixelPredicate blocked) const;

    std::optional<Comet> current;
    int64_t wait = 1200;
    const uint32_t head;
    const std::array<uint32_t, 5> tail;
};

}  // namespace quillmoor
