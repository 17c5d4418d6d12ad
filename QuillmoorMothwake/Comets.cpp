#include "QuillmoorMothwake/Comets.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/PixelCoordinate.h"

namespace quillmoor {

Comets::Comets() : head(0xFFFFFFFF), tail{0xFFFFF4E8, 0xFFF8D0A8, 0xFFE09C6C, 0xFFB0643C, 0xFF70341E} {}

int Comets::tailSegments(double scale) { return std::max(pixelCoordinate(45 * scale), 8); }

int Comets::headDiameter(double scale) { return std::max(pixelCoordinate(2 * scale) + 1, 2); }

void Comets::step(RNG& rng, int width, int maxY, double scale) {
    if (!current) {
        if (wait > 0) {
            --wait;
            return;
        }
        // Four draws, always in this order.
        Comet comet;
        const bool fromLeft = rng.unit() < 0.5;
        comet.x = fromLeft ? -2.0 : width + 2.0;
        const double angle = 0.04 + rng.unit() * (0.28 - 0.04);
        comet.dx = fromLeft ? cosine(angle) : -cosine(angle);
        comet.dy = sine(angle);
        comet.y = maxY * (0.05 + rng.unit() * (0.4 - 0.05));
        comet.speed = scale * (0.7 + rng.unit() * (1.3 - 0.7));
        current = comet;
        return;
    }

    Comet& comet = *current;
    const double nx = comet.x + comet.speed * comet.dx;
    const double ny = comet.y + comet.speed * comet.dy;
    const double margin = 50 * scale;
    // There is no exit through the top: comets only ever descend.
    if (nx < -margin || nx > width + margin || ny > maxY + margin) {
        current.reset();
        wait = rng.integer(1800, 5400);
        return;
    }
    comet.x = nx;
    comet.y = ny;
}

void Comets::draw(Canvas& canvas, double scale, PixelPredicate blocked) const {
    if (!current) return;
    const Comet& comet = *current;
    const auto plot = [&](int px, int py, uint32_t colour) {
        if (px < 0 || px >= canvas.width || py < 0 || py >= canvas.height || blocked(px, py)) return;
        canvas.px[static_cast<std::size_t>(py) * canvas.width + px] = colour;
        canvas.mark(px, py);
    };

    // Tail: one segment per pixel back along the flight line, widening and
    // fading; dithering thins it towards its sides and its end.
    const int segments = tailSegments(scale);
    const auto colours = static_cast<int>(tail.size());
    for (int f = 0; f < segments; ++f) {
        const double h = static_cast<double>(f) / segments;
        const int halfWidth = pixelCoordinate(h * 5 * scale);
        const uint32_t colour = tail[static_cast<std::size_t>(std::min(colours - 1, pixelCoordinate(h * colours)))];
        const double strength = power(1 - h, 1.5);
        const double cx = comet.x - comet.dx * f;
        const double cy = comet.y - comet.dy * f;
        for (int j = -halfWidth; j <= halfWidth; ++j) {
            const int px = pixelCoordinate(cx - comet.dy * j);
            const int py = pixelCoordinate(cy + comet.dx * j);
            // The core near the head is solid. The dither threshold takes the
            // low two bits of each coordinate, so tail pixels left of or above
            // the canvas (a comet starts at x = -2) index the table like any other.
            const bool candidate =
                (j == 0 && h < 0.4) ||
                static_cast<float>((1 - std::abs(j) / static_cast<double>(halfWidth + 1)) * strength) >
                    threshold(px, py);
            if (candidate) plot(px, py, colour);
        }
    }

    // Head: a small disc over the front of the tail.
    const int d = headDiameter(scale);
    const int x0 = pixelCoordinate(comet.x - static_cast<double>(d / 2));
    const int y0 = pixelCoordinate(comet.y - static_cast<double>(d / 2));
    const double c = (d - 1) / 2.0;
    const double radiusSquared = d * d / 4.0;
    for (int r = 0; r < d; ++r)
        for (int k = 0; k < d; ++k)
            if ((k - c) * (k - c) + (r - c) * (r - c) <= radiusSquared) plot(x0 + k, y0 + r, head);
}

}  // namespace quillmoor
