#include "QuillmoorMothwake/Meteors.h"

#include <algorithm>

#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/PixelCoordinate.h"

namespace quillmoor {

Meteors::Meteors() : tail{0xFFFFFFFF, 0xFFF0DCD8, 0xFFC0A29C, 0xFF8C6A64, 0xFF5C3E3A} {}

int Meteors::streakLength(double scale) { return std::max(pixelCoordinate(12 * scale), 6); }

void Meteors::step(RNG& rng, int width, int maxY, double scale, PixelPredicate blocked) {
    if (!current) {
        if (wait > 0) {
            --wait;
            return;
        }
        // Six draws, always in this order.
        Meteor star;
        const double angle = 0.3 + rng.unit() * 0.45;
        star.dx = rng.unit() < 0.5 ? cosine(angle) : -cosine(angle);
        star.dy = sine(angle);
        star.x = width * (0.1 + rng.unit() * 0.8);
        star.y = maxY * (0 + rng.unit() * 0.4);
        star.speed = scale * (3 + rng.unit() * 2.5);
        star.life = rng.integer(14, 34);
        current = star;
        return;
    }

    Meteor& star = *current;
    const int64_t life = star.life - 1;
    const double nx = star.x + star.speed * star.dx;
    const double ny = star.y + star.speed * star.dy;
    const int px = pixelCoordinate(nx);
    const int py = pixelCoordinate(ny);
    // The head must stay in the open sky of the field; blocked is asked last.
    if (life <= 0 || px < 0 || px >= width || py < 0 || py >= maxY || blocked(px, py)) {
        current.reset();
        wait = rng.integer(150, 1050);
        return;
    }
    star.x = nx;
    star.y = ny;
    star.life = life;
}

void Meteors::draw(Canvas& canvas, double scale, PixelPredicate blocked) const {
    if (!current) return;
    const Meteor& star = *current;
    const int64_t fullLength = streakLength(scale);
    // Near the end of its life the streak shortens from its far end.
    const int64_t pixels = std::min(2 * star.life, fullLength);
    const auto colours = static_cast<int64_t>(tail.size());
    for (int64_t i = 0; i < pixels; ++i) {
        const double back = static_cast<double>(i);
        const int px = pixelCoordinate(star.x - star.dx * back);
        const int py = pixelCoordinate(star.y - star.dy * back);
        if (px < 0 || px >= canvas.width || py < 0 || py >= canvas.height || blocked(px, py)) continue;
        // Colour by distance from the head against the full length, so the head stays white.
        const int64_t c = std::min(i * colours / fullLength, colours - 1);
        canvas.px[static_cast<std::size_t>(py) * canvas.width + px] = tail[static_cast<std::size_t>(c)];
        canvas.mark(px, py);
    }
}

}  // namespace quillmoor
