#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "QuillmoorMothwake/Animals.h"
#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/Comets.h"
#include "QuillmoorMothwake/Meteors.h"
#include "QuillmoorMothwake/PixelScene.h"
#include "QuillmoorMothwake/RNG.h"
#include "QuillmoorMothwake/WorldTiles.h"

namespace quillmoor {

// The forest camp scene: a dithered night sky with a crescent moon and stars,
// two rows of conifers that fill in block by block and shimmer, camps with
// tents and burning fires, sparks, fireflies, a walking animal and sky events,
// scrolling slowly to the left.
//
// The picture lives in seven flat per-pixel world buffers, ww columns by h
// rows, indexed y * ww + x. The canvas shows world columns 0 ... w - 1; the
// columns to the right of it are a margin where new forest and camps are made
// before they scroll into view. Everything random comes from `rng`, in a fixed
// order, so a scene is reproducible from its seed and canvas size.
//
// Fields are public so that tests can inspect the state.
class QuillmoorScene final : public PixelScene {
public:
    struct Tree {
        int cx = 0;        // world column of the trunk's centre
        int baseY = 0;     // the row just below the tree
        int height = 0;    // trunk and crown, in pixels
        double spread = 0; // crown half-width at the bottom, as a fraction of the height
        int style = 0;     // index into needles()
        uint32_t color = 0;
        bool front = false;
    };

    struct Camp {
        int centerX = 0;            // world column of the clearing's centre
        int fireX = 0;              // world column of the fire's centre column
        std::vector<uint8_t> heat;  // fw x fh heat cells, row-major, row 0 at the top
    };

    // A pixel lit by the fires; it flickers with `glow` between its own colour, dim and bright.
    struct Lit {
        int x = 0, y = 0;  // world pixel
        float level = 0;   // how strongly the fire lights it at full glow
        float thr = 0;     // its ordered-dither threshold
        uint32_t dim = 0, bright = 0;
    };

    struct Spark {
        double x = 0, y = 0;    // world pixels
        double vx = 0, vy = 0;  // per frame; vy < 0 rises
        int life = 0, maxLife = 0;
        double phase = 0;       // of the sideways wobble, radians
    };

    struct Firefly {
        double x = 0, y = 0;    // canvas pixels
        double vx = 0, vy = 0;
        bool on = false;
        int timer = 0;          // frames left in the current period
        int span = 0;           // length of the current period
    };

    struct SkyRow {
        uint32_t low = 0, high = 0;
        float fract = 0;  // 0 ... 1 from low toward high
    };

    struct OverlayPixel {
        int x = 0, y = 0;  // world pixel
        uint32_t color = 0;
    };

    struct MoonPixel {
        int x = 0, y = 0;  // canvas pixel
        bool bright = false;
    };

    struct FireBand {
        uint8_t min = 0;
        uint32_t color = 0;
    };

    static constexpr int64_t defaultPanFrames = 1800;
    // Frames after which the forest looks finished (every column filled in):
    // where a grown start begins.
    static constexpr int64_t grownFrames = 3600;

    // The eight-by-eight needle patterns; in a row byte 0x80 is column 0, row 0 is the lowest.
    static const std::array<std::array<uint8_t, 8>, 6>& needles();

    // Reads MOTHWAKES_PAN_FRAMES once.
    QuillmoorScene(int width, int height, uint64_t seed);
    // Takes the scroll period directly (raised to at least 1).
    QuillmoorScene(int width, int height, uint64_t seed, int64_t panFrames);

    void step() override;
    void draw(Canvas& canvas) override;
    uint64_t rngState() const override { return rng.state; }

    // State and construction.
    void resetColumn(int x);
    void resetAllColumns();
    void addStar();

    // Forest rows.
    Tree pickTree(bool front, const std::vector<Tree>& after);
    void growRows(const std::vector<int>& clearings);
    void claim(int x, int y, int32_t idx, bool front);
    void textureBand(int x0, int x1);
    void dropUnusedTrees();

    // Camps and fire.
    int campSpacing();
    void buildCamp(int x);
    void stepFire(std::vector<uint8_t>& heat);
    void stepGlow();

    // The step.
    void scroll();

    // Painting.
    struct BlockOrigin {
        int x = 0, y = 0;  // top-left corner; may lie outside the world
    };
    BlockOrigin drawBlockOrigin();
    void prefetchBlock(BlockOrigin b) const;
    void paintBlock(BlockOrigin b);
    void paintNeedle();
    static constexpr uint64_t needleLookahead = 8;
    void prefetchNeedle(uint64_t k) const;
    void rain();
    uint32_t silhouette(std::size_t p) const { return trees[static_cast<std::size_t>(owner[p])].front ? frontSilhouette : backSilhouette; }

    // Sparks and fireflies.
    void emitSparks();
    void moveSparks();
    void moveFlies();

    // Drawing layers.
    // Draws every lit pixel, or with onlyTiles only those in the tiles it marks.
    void drawLit(Canvas& canvas, const std::vector<uint8_t>* onlyTiles = nullptr) const;
    void drawFires(Canvas& canvas) const;
    void drawSparksAndFlies(Canvas& canvas) const;

    // Occlusion: open sky for the sky events; front trees and tents for the animal.
    bool blocked(int x, int y) const;
    bool hidden(int x, int y) const;

    std::size_t at(int x, int y) const { return static_cast<std::size_t>(y) * static_cast<std::size_t>(ww) + static_cast<std::size_t>(x); }

    static constexpr uint32_t frontSilhouette = 0xff020100;
    static constexpr uint32_t backSilhouette = 0xff0c0502;
    static constexpr uint32_t moonColor = 0xffc0e2e6;

    const int w;
    const int h;
    int ww = 1;
    RNG rng;
    int64_t frame = 0;
    double s = 1.0;
    int64_t pan = 0;
    std::vector<uint32_t> base;
    std::vector<uint32_t> buf;
    std::vector<uint8_t> skyMask;
    std::vector<uint8_t> tentMask;
    std::vector<uint8_t> painted;
    std::vector<int32_t> owner;
    std::vector<uint8_t> stick;
    std::vector<SkyRow> skyRow;
    std::vector<Tree> trees;
    // The scroll drops the trees no pixel is owned by any more once the list
    // has reached dropTreesAt, which is then set to twice what remains, or to
    // fewestTreesToDrop if that is more.
    static constexpr std::size_t fewestTreesToDrop = 256;
    std::size_t dropTreesAt = fewestTreesToDrop;
    std::vector<int32_t> treeRenumbering;  // old index to new, or -1; reused
    std::vector<Tree> pending;
    std::array<std::vector<Tree>, 2> recent;
    int treeTop = 0;
    std::vector<Camp> camps;
    int nextCampX = 0;
    std::vector<Lit> lit;
    std::vector<OverlayPixel> overlay;
    std::vector<MoonPixel> moon;
    Meteors meteors;
    Comets comets;
    Animals animals;
    int groundY = 0;
    int fireBase = 0;
    int fw = 1;
    int fh = 1;
    int maxDecay = 1;
    float glow = 0.9f;
    float glowTarget = 0.9f;
    std::vector<Spark> sparks;
    std::vector<Firefly> flies;
    double needleAcc = 0;
    double starAcc = 0;
    double rainAcc = 0;
    double blockAcc = 0;
    int blockSize = 8;
    int tile = 8;
    std::vector<BlockOrigin> blockOrigins;  // this frame's blocks, reused
    const int64_t panFrames;
    const uint32_t groundColor = 0xff040201;
    const std::array<uint32_t, 3> backShades{0xff2a3012, 0xff20260e, 0xff323c18};
    const std::array<uint32_t, 3> frontShades{0xff264e1c, 0xff2e6024, 0xff1c3c14};
    const uint32_t grass = 0xff1a2812;
    const uint32_t warmDim = 0xff103c8a;
    const uint32_t warmBright = 0xff1e64c8;
    const std::array<FireBand, 6> firePalette{{{34, 0xffb0f3ff},
                                               {29, 0xff4ad8ff},
                                               {23, 0xff1ea6f9},
                                               {17, 0xff106af0},
                                               {11, 0xff0c30c8},
                                               {6, 0xff08147a}}};

    // The colour of a fire cell by heat, 0 where it paints nothing: firePalette
    // looked up once for every heat a cell can hold.
    std::array<uint32_t, 256> fireColorByHeat{};

    // Where the visible world changed since the last draw; every write to
    // buf goes through worldWrote.
    WorldTiles worldTiles;
    void worldWrote(int x, int y) { worldTiles.wrote(x, y); }
    // The moon, the fire light, the fires and the pits change only when the
    // fires step (and with the world under them), so they are not marked
    // when drawn: in between they draw the same pixels over the same ones.
    // When the fires step, every tile they can reach is copied afresh.
    void findSteadyTiles(const Canvas& canvas);
    std::vector<uint8_t> steadyTiles;
    // The lit pixels by canvas tile (in list order within a tile), so that a
    // drawing can pass over the tiles where nothing changed.
    struct LitRun {
        uint32_t tile = 0, begin = 0, end = 0;  // litOrder[begin .. end - 1]
    };
    std::vector<uint32_t> litOrder;
    std::vector<LitRun> litRuns;
    std::vector<uint32_t> litTileStart;  // scratch for the grouping
    std::size_t litGrouped = 0;  // the list's length then: it changes only with a scroll
    std::vector<uint8_t> steadyRedraw;  // this draw's tiles that need the fire light; reused
    uint64_t fireSteps = 0;
    uint64_t drawnFireSteps = 0;

    // Reused per call so that the step and the drawing never allocate.
    std::vector<int> clearings;
    std::vector<int> fireColumns;

private:
    double uniform(double a, double b) { return a + (b - a) * rng.unit(); }
};

}  // namespace quillmoor
