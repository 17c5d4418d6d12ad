#include "QuillmoorMothwake/Sprite.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "QuillmoorMothwake/Maths.h"

namespace quillmoor {

namespace {

// Whole cells covering a length in figure units: rounded up, at least one.
int cellsFor(double units, double scale) {
    const double cells = std::ceil(units * scale);
    if (!(cells >= 1)) return 1;
    if (!(cells < INT_MAX)) return INT_MAX;
    return static_cast<int>(cells);
}

// Every shape visits the cells row by row from the top, testing each cell's
// centre in figure units; a shape only ever sets cells.
template <class Inside>
void sweep(Sprite& sprite, Inside inside) {
    for (int i = 0; i < sprite.height; ++i) {
        const double y = (static_cast<double>(sprite.height - i) - 0.5) / sprite.scale;
        for (int j = 0; j < sprite.width; ++j) {
            const double x = (static_cast<double>(j) + 0.5) / sprite.scale;
            if (inside(x, y)) sprite.bits[static_cast<std::size_t>(i) * sprite.width + j] = 1;
        }
    }
}

}  // namespace

Sprite::Sprite(double unitsWide, double unitsHigh, double s)
    : width(cellsFor(unitsWide, s)),
      height(cellsFor(unitsHigh, s)),
      bits(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0),
      scale(s) {}

void Sprite::ellipse(double cx, double cy, double rx, double ry) {
    // A zero radius gives infinities or NaN, which never pass the test.
    sweep(*this, [=](double x, double y) {
        const double u = (x - cx) / rx;
        const double v = (y - cy) / ry;
        return u * u + v * v <= 1;
    });
}

void Sprite::limb(double x0, double y0, double x1, double y1, double thickness) {
    // Never thinner than about one pixel, whatever the scale.
    const double r = std::max(thickness * 0.5, 0.55 / scale);
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    // A zero-length limb becomes a disc around its first end.
    const double lengthSquared = std::max(dx * dx + dy * dy, 1e-9);
    sweep(*this, [=](double px, double py) {
        double t = ((px - x0) * dx + (py - y0) * dy) / lengthSquared;
        t = std::isnan(t) ? 1.0 : std::clamp(t, 0.0, 1.0);
        const double ex = px - (x0 + t * dx);
        const double ey = py - (y0 + t * dy);
        return ex * ex + ey * ey <= r * r;
    });
}

void Sprite::leg(double hipX, double hipY, double theta, double stride, double lift, double thickness) {
    // The foot swings forward raised while cos(theta) > 0 and pushes back on the ground otherwise.
    const double footX = hipX + stride * sine(theta);
    const double footY = std::max(0.0, lift * cosine(theta));
    limb(hipX, hipY, footX, footY, thickness);
}

}  // namespace quillmoor
