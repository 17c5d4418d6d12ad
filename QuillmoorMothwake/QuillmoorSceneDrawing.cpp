#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

namespace {

constexpr uint32_t sparkYoung = 0xff4ad8ff;
constexpr uint32_t sparkMiddle = 0xff106af0;
constexpr uint32_t sparkOld = 0xff0a1e8a;
constexpr uint32_t fireflyGlow = 0xff70f0d8;
constexpr uint32_t fireflyFaint = 0xff28806a;

}  // namespace

bool QuillmoorScene::blocked(int x, int y) const {
    if (x < 0 || x >= w || y < 0 || y >= h) return true;
    const std::size_t p = at(x, y);
    return !skyMask[p] || painted[p];
}

bool QuillmoorScene::hidden(int x, int y) const {
    if (x < 0 || x >= w || y < 0 || y >= h) return true;
    const std::size_t p = at(x, y);
    return tentMask[p] || (painted[p] && trees[static_cast<std::size_t>(owner[p])].front);
}

// Layers, bottom to top: world, moon, comets, shooting stars, animal, fire
// light, fires, the pits' logs and stones, sparks, fireflies. Only what lies
// inside both the scene's and the canvas's size is painted. Every pixel
// written is marked in the canvas, so that the next image compares only the
// marked tiles, and the world is copied only where it is needed.
void QuillmoorScene::draw(Canvas& canvas) {
    const int cw = std::min(w, canvas.width);
    const int ch = std::min(h, canvas.height);
    const bool steadyChanged = fireSteps != drawnFireSteps;
    drawnFireSteps = fireSteps;
    const bool whole = worldTiles.copyWorld(canvas, this, buf.data(), static_cast<std::size_t>(ww), steadyChanged ? &steadyTiles : nullptr);
    if (whole) findSteadyTiles(canvas);

    for (const MoonPixel& m : moon) {
        if (m.x >= cw || m.y >= ch) continue;
        const std::size_t p = at(m.x, m.y);
        if (!skyMask[p] || painted[p]) continue;
        canvas.px[static_cast<std::size_t>(m.y) * static_cast<std::size_t>(canvas.width) + static_cast<std::size_t>(m.x)] =
            m.bright ? moonColor : base[p];
    }

    const double sc = static_cast<double>(h) / 270;
    const auto skyBlocked = [this](int x, int y) { return blocked(x, y); };
    const auto animalHidden = [this](int x, int y) { return hidden(x, y); };
    comets.draw(canvas, sc, skyBlocked);
    meteors.draw(canvas, sc, skyBlocked);
    fireColumns.clear();
    for (const Camp& camp : camps) fireColumns.push_back(camp.fireX);
    animals.draw(canvas, groundY, std::span<const int>(fireColumns), s, animalHidden);

    if (whole || steadyChanged || litGrouped != lit.size()) {
        drawLit(canvas);
    } else {
        // Elsewhere the canvas still shows this very light over this very
        // world, and nothing below the light was drawn there this time.
        std::copy(canvas.marks().begin(), canvas.marks().end(), steadyRedraw.begin());
        for (const uint32_t t : worldTiles.copiedTiles()) steadyRedraw[t] = 1;
        drawLit(canvas, &steadyRedraw);
    }
    drawFires(canvas);
    for (const OverlayPixel& o : overlay) {
        if (o.x < 0 || o.x >= canvas.width || o.y < 0 || o.y >= canvas.height) continue;
        canvas.px[static_cast<std::size_t>(o.y) * static_cast<std::size_t>(canvas.width) + static_cast<std::size_t>(o.x)] = o.color;
    }
    drawSparksAndFlies(canvas);

    worldTiles.finishDrawing(canvas);
}

// The tiles of the canvas the steady layers can draw into; found again
// whenever the world is copied whole (after a scroll, which moves them).
void QuillmoorScene::findSteadyTiles(const Canvas& canvas) {
    steadyTiles.assign(worldTiles.tileCount(), 0);
    const int cw = std::min(w, canvas.width);
    const int ch = std::min(h, canvas.height);
    const auto note = [&](int x, int y) {
        if (x >= 0 && x < cw && y >= 0 && y < ch) steadyTiles[worldTiles.tileOf(x, y)] = 1;
    };
    for (const MoonPixel& m : moon) note(m.x, m.y);
    for (const Lit& l : lit) note(l.x, l.y);
    steadyRedraw.assign(worldTiles.tileCount(), 0);

    // Lit pixels outside the canvas are never drawn; the others by tile, in
    // list order within a tile (a counting sort, into reused lists).
    const auto visible = [&](const Lit& l) { return l.x >= 0 && l.x < cw && l.y >= 0 && l.y < ch; };
    litTileStart.assign(worldTiles.tileCount() + 1, 0);
    for (const Lit& l : lit)
        if (visible(l)) ++litTileStart[worldTiles.tileOf(l.x, l.y) + 1];
    for (std::size_t t = 1; t < litTileStart.size(); ++t) litTileStart[t] += litTileStart[t - 1];
    litRuns.clear();
    for (std::size_t t = 0; t + 1 < litTileStart.size(); ++t)
        if (litTileStart[t + 1] > litTileStart[t]) litRuns.push_back({static_cast<uint32_t>(t), litTileStart[t], litTileStart[t + 1]});
    litOrder.resize(litTileStart.back());
    for (uint32_t i = 0; i < lit.size(); ++i)
        if (visible(lit[i])) litOrder[litTileStart[worldTiles.tileOf(lit[i].x, lit[i].y)]++] = i;
    litGrouped = lit.size();
    for (const OverlayPixel& o : overlay) note(o.x, o.y);
    const int top = fireBase - (fh - 1);
    for (const Camp& camp : camps)
        for (int y = top; y < top + fh; ++y)
            for (int x = camp.fireX - fw / 2; x < camp.fireX - fw / 2 + fw; ++x) note(x, y);
}

// Each lit pixel is dithered between its own colour, dim and bright by how
// strongly the fire lights it now: e = level x glow x 2 whole steps, plus one
// where the fraction of e exceeds the pixel's threshold.
void QuillmoorScene::drawLit(Canvas& canvas, const std::vector<uint8_t>* onlyTiles) const {
    const int cw = std::min(w, canvas.width);
    const int ch = std::min(h, canvas.height);
    uint32_t* px = canvas.px.data();
    const auto stride = static_cast<std::size_t>(canvas.width);
    // Doubling is exact, so level x (glow x 2) equals (level x glow) x 2.
    const float glow2 = glow * 2.0f;
    const auto light = [&](const Lit& l) {
        if (static_cast<unsigned>(l.x) >= static_cast<unsigned>(cw) || static_cast<unsigned>(l.y) >= static_cast<unsigned>(ch)) return;
        const float e = l.level * glow2;
        const int whole = static_cast<int>(e);
        const int n = whole + (e - static_cast<float>(whole) > l.thr ? 1 : 0);
        // Selected without branching: the dither makes n flip from pixel to pixel.
        uint32_t& pixel = px[static_cast<std::size_t>(l.y) * stride + static_cast<std::size_t>(l.x)];
        const uint32_t litColor = n >= 2 ? l.bright : l.dim;
        pixel = n > 0 ? litColor : pixel;
    };
    if (!onlyTiles) {
        for (const Lit& l : lit) light(l);
        return;
    }
    for (const LitRun& run : litRuns)
        if ((*onlyTiles)[run.tile])
            for (uint32_t k = run.begin; k < run.end; ++k) light(lit[litOrder[k]]);
}

void QuillmoorScene::drawFires(Canvas& canvas) const {
    const int top = fireBase - (fh - 1);
    for (const Camp& camp : camps) {
        const int left = camp.fireX - fw / 2;
        for (int r = 0; r < fh; ++r) {
            const int y = top + r;
            if (y < 0 || y >= canvas.height || y >= h) continue;
            for (int k = 0; k < fw; ++k) {
                const int x = left + k;
                const uint32_t color = fireColorByHeat[camp.heat[static_cast<std::size_t>(r) * static_cast<std::size_t>(fw) + static_cast<std::size_t>(k)]];
                if (color == 0 || x < 0 || x >= canvas.width || x >= w) continue;
                canvas.px[static_cast<std::size_t>(y) * static_cast<std::size_t>(canvas.width) + static_cast<std::size_t>(x)] = color;
            }
        }
    }
}

void QuillmoorScene::drawSparksAndFlies(Canvas& canvas) const {
    const int width = canvas.width;
    const int height = canvas.height;
    const auto put = [&](int x, int y, uint32_t color) {
        if (x >= 0 && x < width && y >= 0 && y < height) {
            canvas.px[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = color;
            canvas.mark(x, y);
        }
    };

    for (const Spark& spark : sparks) {
        const double a = static_cast<double>(spark.life) / static_cast<double>(spark.maxLife);
        const uint32_t color = a > 0.66 ? sparkYoung : a > 0.33 ? sparkMiddle : sparkOld;
        put(static_cast<int>(spark.x), static_cast<int>(spark.y), color);
    }

    const int m = std::max(1, static_cast<int>(std::round(s * 2)));
    for (const Firefly& f : flies) {
        if (!f.on) continue;
        const int fx = static_cast<int>(f.x);
        const int fy = static_cast<int>(f.y);
        if (f.timer >= 5 && f.span - f.timer > 4) {
            for (int y = std::max(0, fy); y < std::min(fy + m, height); ++y)
                for (int x = std::max(0, fx); x < std::min(fx + m, width); ++x)
                    canvas.px[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = fireflyGlow;
            canvas.markRect(fx, fy, fx + m, fy + m);
        } else {
            put(fx, fy, fireflyFaint);
        }
    }
}

}  // namespace quillmoor
