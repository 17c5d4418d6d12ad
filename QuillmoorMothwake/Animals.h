#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/PixelPredicate.h"
#include "QuillmoorMothwake/RNG.h"
#include "QuillmoorMothwake/Sprite.h"

namespace quillmoor {

// The occasional large animal that walks across the forest.
class Animals {
public:
    enum class Species { moose, bear, fox };
    static constexpr Species allSpecies[] = {Species::moose, Species::bear, Species::fox};

    // Exactly "moose", "bear" or "fox"; anything else is no species.
    static std::optional<Species> species(std::string_view rawValue);

    // The eight walk-cycle frames of a species at a pixel scale.
    static std::vector<Sprite> makeFrames(Species species, double scale);

    struct Walker {
        std::vector<Sprite> frames;
        double x = 0;  // canvas column of the bitmap's left edge
        double dir = 1;
        double speed = 0;
        double phase = 0;
        double cadence = 0;
        std::optional<double> pauseAt;
        int64_t pause = 0;
    };

    // Reads MOTHWAKES_ANIMAL from the environment.
    Animals();
    // Takes the value that variable would hold (null: not set).
    explicit Animals(const char* forcedSpecies);
    // Every animal of the given species, the first one at once; none given: any species.
    explicit Animals(std::optional<Species> forcedSpecies);

    void step(RNG& rng, int width, double scale);
    void draw(Canvas& canvas, int groundY, std::span<const int> fires, double scale, PixelPredicate hidden) const;

    std::optional<Walker> current;
    std::optional<Species> previous;
    int64_t wait = 1350;
    std::optional<Species> forced;
};

}  // namespace quillmoor
