#include "platform/FpsOverlay.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace platform {

void FrameStats::frameDone(Clock::time_point started, Clock::time_point finished) {
    if (!started_) {
        started_ = true;
        periodStart_ = started;
    }
    ++frames_;
    busy_ += finished - started;
    const std::chrono::duration<double> period = finished - periodStart_;
    if (period.count() < 1.0) return;
    const double ms = std::chrono::duration<double, std::milli>(busy_).count() / frames_;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.1f fps %.1f ms", frames_ / period.count(), ms);
    text_ = buffer;
    periodStart_ = finished;
    frames_ = 0;
    busy_ = {};
}

namespace {

constexpr int glyphWidth = 3, glyphHeight = 5;

// The plate's border around the text, in font dots.
constexpr int marginDots = 2;

// Five rows of `width` bits each, the leftmost pixel in the highest bit.
// Glyphs are three dots wide but for 'm', whose three strokes need five.
struct Glyph {
    char c;
    int width;
    std::array<uint8_t, glyphHeight> rows;
};

const std::array<Glyph, 16>& glyphs() {
    static const std::array<Glyph, 16> table{{
        {'0', 3, {7, 5, 5, 5, 7}}, {'1', 3, {2, 6, 2, 2, 7}}, {'2', 3, {7, 1, 7, 4, 7}}, {'3', 3, {7, 1, 7, 1, 7}},
        {'4', 3, {5, 5, 7, 1, 1}}, {'5', 3, {7, 4, 7, 1, 7}}, {'6', 3, {7, 4, 7, 5, 7}}, {'7', 3, {7, 1, 1, 2, 2}},
        {'8', 3, {7, 5, 7, 5, 7}}, {'9', 3, {7, 5, 7, 1, 7}}, {'.', 3, {0, 0, 0, 0, 2}}, {'-', 3, {0, 0, 7, 0, 0}},
        {'f', 3, {3, 4, 6, 4, 4}}, {'p', 3, {0, 7, 5, 7, 4}}, {'s', 3, {0, 3, 6, 1, 6}},
        {'m', 5, {0b00000, 0b11010, 0b10101, 0b10101, 0b10101}},
    }};
    return table;
}

const Glyph* find(char c) {
    for (const Glyph& g : glyphs())
        if (g.c == c) return &g;
    return nullptr;
}

// Font dots from one character's left edge to the next one's.
int advanceDots(char c) {
    const Glyph* g = find(c);
    return (g ? g->width : glyphWidth) + 1;
}

void setPixel(PixelView frame, int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= frame.width || y >= frame.height) return;
    frame.row(y)[x] = colour;
}

}  // namespace

int overlayDot(int frameHeight) { return std::max(2, frameHeight / 540); }

PixelRect overlayBox(int frameWidth, int frameHeight, std::string_view text, int dot) {
    int64_t textDots = 0;
    for (const char c : text) textDots += advanceDots(c);
    const int64_t margin = marginDots * int64_t{dot};
    const int64_t plateW = textDots * dot + dot + 2 * margin;
    const int64_t plateH = (glyphHeight + 2) * int64_t{dot} + 2 * margin;
    const int w = static_cast<int>(std::min<int64_t>(plateW, frameWidth)), h = static_cast<int>(std::min<int64_t>(plateH, frameHeight));
    return intersection({0, frameHeight - h, w, h}, {0, 0, frameWidth, frameHeight});
}

void drawOverlayText(PixelView frame, const std::string& text, int dot) {
    dot = std::max(1, dot);
    const PixelRect plate = overlayBox(frame.width, frame.height, text, dot);
    for (int y = plate.y; y < plate.bottom(); ++y)
        std::fill(frame.row(y) + plate.x, frame.row(y) + plate.right(), 0xFF000000u);

    // The pen starts inside the margin, measured from the plate's unclipped top.
    const int plateH = (glyphHeight + 2 + 2 * marginDots) * dot;
    int penX = (marginDots + 1) * dot;
    const int penY = frame.height - plateH + (marginDots + 1) * dot;
    for (const char c : text) {
        if (penX >= frame.width) break;
        if (const Glyph* g = find(c))
            for (int row = 0; row < glyphHeight; ++row)
                for (int col = 0; col < g->width; ++col) {
                    if (!((g->rows[row] >> (g->width - 1 - col)) & 1)) continue;
                    for (int dy = 0; dy < dot; ++dy)
                        for (int dx = 0; dx < dot; ++dx)
                            setPixel(frame, penX + col * dot + dx, penY + row * dot + dy, 0xFFFFFFFFu);
                }
        penX += advanceDots(c) * dot;
    }
}

Region FpsOverlay::update(const std::string& text, int frameWidth, int frameHeight) {
    const int dot = overlayDot(frameHeight);
    const PixelRect box = text.empty() ? PixelRect{} : overlayBox(frameWidth, frameHeight, text, dot);
    Region changed;
    if (text == text_ && box == box_) return changed;
    changed.add(box_);
    changed.add(box);
    text_ = text;
    box_ = box;
    dot_ = dot;
    return changed;
}

void FpsOverlay::draw(PixelView frame) const {
    if (!text_.empty()) drawOverlayText(frame, text_, dot_);
}

}  // namespace platform
