#include "QuillmoorMothwake/Animals.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "QuillmoorMothwake/PixelCoordinate.h"

namespace quillmoor {

namespace {

constexpr double pi = std::numbers::pi;

struct Hip {
    double x, y;
    bool second;  // walks half a cycle behind the first pair (theta + pi)
};

struct Shape {
    bool isLimb;
    double a, b, c, d, thickness;  // ellipse: cx, cy, rx, ry; limb: x0, y0, x1, y1
};

struct Figure {
    double unitsWide, unitsHigh;
    double spriteScale;  // sprite pixels per figure unit, relative to the scene's scale
    double stride, lift, legThickness;
    Hip legs[4];
    std::span<const Shape> body;
};

struct Motion {
    double speedFactor;
    double cadenceDivisor;  // frames per full leg cycle
};

Shape ellipse(double cx, double cy, double rx, double ry) { return {false, cx, cy, rx, ry, 0}; }
Shape limb(double x0, double y0, double x1, double y1, double thickness) { return {true, x0, y0, x1, y1, thickness}; }

const Shape mooseBody[] = {
    ellipse(12, 27, 6, 7),             // hindquarters
    ellipse(24, 27, 15, 7.5),          // trunk
    ellipse(33, 31, 7, 6.5),           // shoulder hump
    limb(36, 31, 43, 33, 7),           // neck
    limb(43, 33.5, 51, 31, 5.5),       // head
    ellipse(52, 30, 3.2, 3.2),         // muzzle
    limb(44, 30, 44, 26.5, 1.6),       // throat bell
    limb(41, 36, 39, 39, 1.6),         // ear
    limb(42, 36, 43, 40, 1.5),         // antler beam
    ellipse(44, 42, 6.5, 2.2),         // antler palm
    limb(39, 43, 38, 47, 1.3),         // antler tines
    limb(43, 44, 43, 48, 1.3),
    limb(47, 44, 48, 47, 1.3),
    limb(50, 42, 52, 44, 1.3),
};

const Shape bearBody[] = {
    ellipse(10, 13, 8, 8),             // rump
    ellipse(20, 13.5, 13, 7.5),        // trunk
    ellipse(30, 14.5, 8, 8),           // shoulders
    ellipse(38, 13, 5.5, 5),           // head
    limb(41, 11.5, 45.5, 10.5, 3.4),   // snout
    ellipse(36.5, 18.2, 1.6, 1.6),     // ear
};

const Shape foxBody[] = {
    limb(16, 8.5, 27, 9, 5.5),         // trunk
    limb(28, 9.5, 31, 12.5, 3.6),      // neck
    ellipse(33, 13.2, 3, 2.4),         // head
    limb(35, 12.6, 38.2, 11.6, 1.3),   // snout
    limb(31.5, 15, 31, 18, 1.3),       // ears
    limb(33.5, 15.3, 34.2, 18, 1.3),
    limb(15, 8.5, 6, 7, 4),            // tail
    limb(6, 7, 3, 7.5, 2.6),           // tail tip
};

const Figure& figure(Animals::Species species) {
    static const Figure moose{58, 50, 1, 4, 2, 2.4,
                              {{30, 23, true}, {15, 24, false}, {33, 23, false}, {12, 24, true}}, mooseBody};
    static const Figure bear{50, 26, 1, 3, 1.2, 5.5,
                             {{27, 9, true}, {13, 9, false}, {31, 9, false}, {9, 9, true}}, bearBody};
    static const Figure fox{42, 20, 0.8, 2.5, 1.2, 1.4,
                            {{25.5, 7, true}, {18, 7, false}, {27, 7, false}, {16, 7, true}}, foxBody};
    switch (species) {
        case Animals::Species::moose: return moose;
        case Animals::Species::bear: return bear;
        case Animals::Species::fox: break;
    }
    return fox;
}

Motion motion(Animals::Species species) {
    switch (species) {
        case Animals::Species::moose: return {0.5, 44};
        case Animals::Species::bear: return {0.45, 40};
        case Animals::Species::fox: break;
    }
    return {1.0, 18};
}

constexpr uint32_t black = 0xFF000000u;
constexpr uint32_t warmRim = 0xFF103C8Au;  // orange, close to a fire
constexpr uint32_t dimRim = 0xFF08204Au;   // ember, further away

}  // namespace

std::optional<Animals::Species> Animals::species(std::string_view rawValue) {
    if (rawValue == "moose") return Species::moose;
    if (rawValue == "bear") return Species::bear;
    if (rawValue == "fox") return Species::fox;
    return std::nullopt;
}

std::vector<Sprite> Animals::makeFrames(Species species, double scale) {
    const Figure& fig = figure(species);
    std::vector<Sprite> frames;
    frames.reserve(8);
    for (int k = 0; k < 8; ++k) {
        const double thetaA = k * 2 * pi * 0.125;
        const double thetaB = thetaA + pi;
        Sprite frame(fig.unitsWide, fig.unitsHigh, fig.spriteScale * scale);
        for (const Hip& hip : fig.legs)
            frame.leg(hip.x, hip.y, hip.second ? thetaB : thetaA, fig.stride, fig.lift, fig.legThickness);
        for (const Shape& s : fig.body) {
            if (s.isLimb)
                frame.limb(s.a, s.b, s.c, s.d, s.thickness);
            else
                frame.ellipse(s.a, s.b, s.c, s.d);
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

Animals::Animals() : Animals(std::getenv("MOTHWAKES_ANIMAL")) {}

Animals::Animals(const char* forcedSpecies) : Animals(forcedSpecies ? species(forcedSpecies) : std::nullopt) {}

Animals::Animals(std::optional<Species> forcedSpecies) : forced(forcedSpecies) {
    // A forced species lets the first animal in at once, so it can be seen.
    if (forced) wait = 0;
}

void Animals::step(RNG& rng, int width, double scale) {
    if (current) {
        Walker& walker = *current;
        if (walker.pause > 0) {
            --walker.pause;
        } else {
            walker.x += walker.dir * walker.speed;
            walker.phase += walker.cadence;
            if (walker.pauseAt) {
                const bool reached = walker.dir > 0 ? walker.x >= *walker.pauseAt : walker.x <= *walker.pauseAt;
                if (reached) {
                    walker.pauseAt.reset();
                    walker.pause = rng.integer(90, 240);
                }
            }
        }
        // Standing animals are tested too: the bounds are those of the canvas.
        const double figureWidth = walker.frames[0].width;
        if (walker.x > width + 2.0 || walker.x < -2.0 - figureWidth) {
            current.reset();
            wait = rng.integer(1200, 4500);
        }
        return;
    }

    if (wait > 0) {
        --wait;
        return;
    }

    Species chosen;
    if (forced) {
        chosen = *forced;
    } else {
        // Never the same species twice running.
        Species candidates[3];
        int64_t count = 0;
        for (Species s : allSpecies)
            if (s != previous) candidates[count++] = s;
        chosen = candidates[rng.integer(count)];
    }
    previous = chosen;

    Walker walker;
    walker.frames = makeFrames(chosen, scale);
    if (rng.unit() < 0.5) {
        walker.x = -static_cast<double>(walker.frames[0].width);
        walker.dir = 1;
    } else {
        walker.x = width;
        walker.dir = -1;
    }
    if (rng.unit() < 0.6) walker.pauseAt = width * (0.2 + rng.unit() * (0.8 - 0.2));
    const Motion m = motion(chosen);
    walker.speed = scale * m.speedFactor;
    walker.cadence = 2 * pi / m.cadenceDivisor;
    current = std::move(walker);
}

void Animals::draw(Canvas& canvas, int groundY, std::span<const int> fires, double scale,
                   PixelPredicate hidden) const {
    if (!current) return;
    const Walker& walker = *current;
    const auto k = static_cast<std::size_t>(static_cast<int64_t>(walker.phase / (2 * pi) * 8) % 8);
    const Sprite& sprite = walker.frames[k];
    const int w = sprite.width;
    const int h = sprite.height;
    const int left = pixelCoordinate(std::floor(walker.x));
    const int top = groundY - h;
    // Walking towards smaller x shows the figure mirrored, so it goes head first.
    const auto column = [&](int X) { return walker.dir > 0 ? X - left : (w - 1) - (X - left); };

    for (int y = top; y < groundY; ++y) {
        const int sy = y - top;
        for (int X = left; X < left + w; ++X) {
            if (!sprite.at(column(X), sy)) continue;
            if (X < 0 || X >= canvas.width || y < 0 || y >= canvas.height) continue;
            if (hidden(X, y)) continue;

            uint32_t colour = black;
            if (!fires.empty()) {
                int64_t nearest = fires[0];
                for (int fire : fires)
                    if (std::abs(int64_t{fire} - X) < std::abs(nearest - X)) nearest = fire;
                const int64_t dx = nearest - X;
                // Lit only on the outline that faces the fire; the glow is
                // worked out only there.
                const int towards = column(dx <= 0 ? X - 1 : X + 1);
                if (towards < 0 || towards >= w || !sprite.at(towards, sy)) {
                    const double rise = static_cast<double>(groundY - y);
                    const double glow =
                        1 - std::sqrt(static_cast<double>(dx) * static_cast<double>(dx) + rise * rise) / (150 * scale);
                    if (glow > 0) colour = glow > 0.5 ? warmRim : dimRim;
                }
            }
            canvas.px[static_cast<std::size_t>(y) * canvas.width + X] = colour;
            canvas.mark(X, y);
        }
    }
}

}  // namespace quillmoor
