#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/PixelPredicate.h"
#include "QuillmoorMothwake/RNG.h"

namespace quillmoor {

// Shooting stars: at most one at a time, stopped by anything in front of the sky.
class Meteors {
public:
    struct Meteor {
        double x = 0, y = 0;    // head, canvas pixels
        double dx = 0, dy = 0;  // unit direction of flight
        double speed = 0;       // pixels per frame
        int64_t life = 0;       // frames left
    };

    Meteors();

    // Pixels in a full streak: twelve sky units, never fewer than six pixels.
    static int streakLength(double scale);

    void step(RNG& rng, int width, int maxY, double scale, PixelPredicate blocked);
    void draw(Canvas& canvas, double scale, PixelPredicate blocked) const;

    std::optional<Meteor> current;
    int64_t wait = 240;
    const std::array<uint32_t, 5> tail;
};

}  // namespace quillmoor
