#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/Comets.h"
#include "QuillmoorMothwake/Meteors.h"
#include "QuillmoorMothwake/PixelScene.h"
#include "QuillmoorMothwake/RNG.h"
#include "QuillmoorMothwake/WorldTiles.h"

namespace quillmoor {

// A dark city skyline that pans slowly to the left. Building bodies and sky are
// one dark colour, so the city shows only through its windows, which light up
// pixel by pixel; stars fill the open sky; dark blots erase both now and then;
// shooting stars and comets pass behind the buildings; up to three of the
// tallest visible buildings carry a mast with a blinking beacon once they are
// lit enough.
//
// Every field is public so that tests can inspect and arrange the state; the
// fields marked fixed are set by construction and never change afterwards.
class GlimmerfoldScene final : public PixelScene {
public:
    struct Building {
        int x = 0;           // left edge in canvas columns; negative or >= w when out of view
        int widthTiles = 0;  // width in tiles
        int heightTiles = 0;  // height in tiles; stands on the bottom row
        int style = 0;       // index into styles()
        uint32_t color = 0;  // window light colour, one of lightColors
        bool front = false;  // front layer (true) or back layer
        int visible = 0;     // canvas pixels owned by this building
        int64_t lights = 0;  // window pixels switched on so far; never decreases
    };

    struct Spire {
        int building = 0;  // index into buildings
        int x = 0;         // mast column
        int y = 0;         // roof row the mast stands on
        int height = 0;    // mast height in pixels
        int phase = 0;     // beacon blink offset in frames
    };

    // The six 8 x 8 window patterns: byte r is pattern row r (row 0 is the
    // lowest row of a tile), bit 7 - c set is a window at pattern column c.
    static const std::array<std::array<uint8_t, 8>, 6>& styles();

    // Frames per pan come from MOTHWAKES_PAN_FRAMES, else defaultPanFrames.
    GlimmerfoldScene(int width, int height, uint64_t seed);
    GlimmerfoldScene(int width, int height, uint64_t seed, int64_t panFrames);

    static constexpr int64_t defaultPanFrames = 60;
    // Frames after which the skyline looks finished (its city filled in):
    // where a grown start begins.
    static constexpr int64_t grownFrames = 1800;

    void step() override;
    void draw(Canvas& canvas) override;
    uint64_t rngState() const override { return rng.state; }

    // One candidate building for a layer at x = w; exactly four draws.
    Building makeBuilding(bool front);

    // One pixel of panning: scroll, recycle buildings that left on the left,
    // rebuild the derived state.
    void pan();

    // Recomputes owner, skylineTop, every building's visible count and spires.
    void rebuildOwner();

    // Adds one building to a layer after the layer's rightmost building, chosen
    // to differ from its neighbours, starting no further left than leftLimit
    // (the layer's right end when the layer is empty). Returns its right end.
    int placeBuilding(bool front, int leftLimit);

    // Lights the canvas pixel (x, y) in its building's colour when it is a window of
    // the building's pattern inside the façade margins; sky does nothing.
    void lightWindow(int x, int y);

    // Paints a dark disc of diameter n whose bounding square has its top-left
    // corner at (x0, y0); only the part inside the canvas.
    void blot(int x0, int y0, int n);

    // Tallest roof allowed for a generated building, in tiles.
    int maxTiles() const;

    int w;
    int h;
    RNG rng;
    int64_t frame = 0;
    std::vector<uint32_t> buf;
    std::vector<int16_t> owner;       // building index per pixel, -1 for sky
    std::vector<Building> buildings;  // back layer first, then front; later covers earlier
    int tile;                         // fixed
    int edge;                         // fixed
    double scale;                     // fixed
    int skylineTop = 0;
    std::vector<Spire> spires;
    double lightAcc = 0;
    double starAcc = 0;
    double rainAcc = 0;
    Meteors meteors;
    Comets comets;
    uint32_t black;                       // fixed
    std::array<uint32_t, 3> lightColors;  // fixed
    int64_t panFrames;                    // fixed
    // Where the world changed since the last draw; every write to buf is reported to it.
    WorldTiles worldTiles;

private:
    void layOutLayer(bool front);
    bool blocked(int x, int y) const { return owner[static_cast<size_t>(y) * w + x] >= 0; }

    std::vector<int> order_;  // rebuildOwner's height order, kept to avoid allocating per pan
};

}  // namespace quillmoor
