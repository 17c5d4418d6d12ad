#include <algorithm>

#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

// Each fire throws a spark with chance 0.12 a frame, from half-way up its flames.
void QuillmoorScene::emitSparks() {
    const double sc = static_cast<double>(h) / 270;
    for (const Camp& camp : camps) {
        if (rng.unit() >= 0.12) continue;
        Spark spark;
        spark.life = spark.maxLife = static_cast<int>(rng.integer(40, 110));
        spark.x = static_cast<double>(fw) * (2 * rng.unit() - 1) * 0.25 + static_cast<double>(camp.fireX);
        spark.y = static_cast<double>(fireBase - fh / 2);
        spark.vx = (0.4 * rng.unit() - 0.2) * sc;
        spark.vy = (0.55 * rng.unit() - 0.9) * std::max(sc, 0.6);
        spark.phase = 6.28 * rng.unit();
        sparks.push_back(spark);
    }
}

// Sparks rise, wobble sideways and slow down; they die of age only.
void QuillmoorScene::moveSparks() {
    const double sc = static_cast<double>(h) / 270;
    for (Spark& spark : sparks) {
        spark.x = spark.x + (spark.vx + sine(static_cast<double>(frame) * 0.2 + spark.phase) * (0.15 * sc));
        spark.y = spark.y + spark.vy;
        spark.vy = spark.vy * 0.992;
        spark.life = spark.life - 1;
    }
    std::erase_if(sparks, [](const Spark& spark) { return spark.life < 1; });
}

// Fireflies wander with bounded speed between mid-height and the ground,
// bouncing off the edges, and blink on and off for random periods.
void QuillmoorScene::moveFlies() {
    const double sc = static_cast<double>(h) / 270;
    const double minY = 0.45 * static_cast<double>(h);
    const double maxY = static_cast<double>(groundY - 2);
    const double maxX = static_cast<double>(w - 1);
    for (Firefly& f : flies) {
        f.vx = f.vx + (0.1 * rng.unit() - 0.05) * sc;
        f.vx = std::max(std::min(f.vx, 0.35 * sc), -0.35 * sc);
        f.vy = f.vy + (0.08 * rng.unit() - 0.04) * sc;
        f.vy = std::max(std::min(f.vy, 0.2 * sc), -0.2 * sc);
        f.x = f.x + f.vx;
        f.y = f.y + f.vy;
        if (f.x < 0 || f.x > maxX) f.vx = -f.vx;
        if (f.y < minY || f.y > maxY) f.vy = -f.vy;
        f.x = std::max(0.0, std::min(f.x, maxX));
        f.y = std::max(minY, std::min(f.y, maxY));
        f.timer = f.timer - 1;
        if (f.timer < 1) {
            f.on = !f.on;
            f.span = static_cast<int>(f.on ? rng.integer(25, 60) : rng.integer(40, 200));
            f.timer = f.span;
        }
    }
}

}  // namespace quillmoor
