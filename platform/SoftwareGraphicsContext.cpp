#include "platform/SoftwareGraphicsContext.h"

#include "platform/ChangedSpans.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/TargetClones.h"

namespace platform {

namespace {

// Appends the parts of the rectangles inside `whole` that are not empty.
void appendInside(const std::vector<PixelRect>& rects, PixelRect whole, std::vector<PixelRect>& to) {
    for (const PixelRect& r : rects)
        if (const PixelRect inside = intersection(r, whole); !inside.empty()) to.push_back(inside);
}

inline uint32_t quantise(double weight) {
    return static_cast<uint32_t>(std::lround(std::clamp(weight, 0.0, 1.0) * 256.0));
}

// Blends a run of RGBX pixels toward grey g (0 ... 255) by k/256, rounding to
// nearest; the X byte is kept. Red and blue, then green, are blended in
// 16-bit lanes of one 32-bit word. Built for AVX2 too, picked at load time.
QUILLMOOR_TARGET_CLONES
void blendRun(uint32_t* pixels, size_t count, uint32_t g, uint32_t k) {
    const uint32_t keep = 256 - k;
    const uint32_t add = g * k + 128;
    const uint32_t addRB = add << 16 | add;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        const uint32_t rb = (((p & 0x00FF00FFu) * keep + addRB) >> 8) & 0x00FF00FFu;
        const uint32_t gg = (((p >> 8) & 0xFFu) * keep + add) & 0x0000FF00u;
        pixels[i] = rb | gg | (p & 0xFF000000u);
    }
}

void fillRun(uint32_t* pixels, size_t count, uint32_t g, uint32_t k) {
    if (k == 0) return;
    if (k == 256) {
        std::fill(pixels, pixels + count, 0xFF000000u | g << 16 | g << 8 | g);
        return;
    }
    blendRun(pixels, count, g, k);
}

// Image pixels as the framebuffer stores them.
template <bool Swap>
inline uint32_t stored(uint32_t p) {
    return Swap ? swapRedBlue(p) : p;
}

// Writes image pixels scaled by s into dst for the scaled columns [from, to)
// (relative to the image's left edge at framebuffer column left).
template <bool Swap>
QUILLMOOR_TARGET_CLONES
void expandRow(const uint32_t* __restrict src, uint32_t* __restrict dst, long from, long to, int s, long left) {
    uint32_t* __restrict out = dst + left;
    long c = from;
    // The partial block at the start, then whole blocks, then the partial block at the end.
    for (; c < to && c % s != 0; ++c) out[c] = stored<Swap>(src[c / s]);
    const long firstWhole = c / s, endWhole = to / s;
    if (s == 2) {
        for (long i = firstWhole; i < endWhole; ++i) {
            const uint32_t v = stored<Swap>(src[i]);
            out[2 * i] = v;
            out[2 * i + 1] = v;
        }
    } else {
        for (long i = firstWhole; i < endWhole; ++i) {
            const uint32_t v = stored<Swap>(src[i]);
            for (int k = 0; k < s; ++k) out[i * s + k] = v;
        }
    }
    for (c = std::max(c, endWhole * s); c < to; ++c) out[c] = stored<Swap>(src[c / s]);
}

// Samples the image at the centre of every framebuffer pixel in clip that lies inside rect.
void drawImageSampled(PixelView fb, const Image& image, Rect rect, PixelRect clip) {
    if (!(rect.width > 0) || !(rect.height > 0)) return;
    clip = intersection(clip, {0, 0, fb.width, fb.height});
    const double H = fb.height;
    for (int r = clip.y; r < clip.bottom(); ++r) {
        const double cy = H - r - 0.5;
        if (cy < rect.y || cy >= rect.y + rect.height) continue;
        const int iy = std::min(image.height() - 1, static_cast<int>(std::floor((rect.y + rect.height - cy) / rect.height * image.height())));
        for (int c = clip.x; c < clip.right(); ++c) {
            const double cx = c + 0.5;
            if (cx < rect.x || cx >= rect.x + rect.width) continue;
            const int ix = std::min(image.width() - 1, static_cast<int>(std::floor((cx - rect.x) / rect.width * image.width())));
            const uint32_t p = image.pixel(ix, iy);
            fb.row(r)[c] = fb.order == ChannelOrder::bgrx ? swapRedBlue(p) : p;
        }
    }
}

// Scales above this are drawn by sampling; they keep block arithmetic far from overflow.
constexpr double largestBlock = 1 << 16;

// Every sampleStride-th row is looked at first to tell whether most of an
// image changed (a scroll, a new scene): then it is redrawn whole at once.
constexpr int sampleStride = 16;
constexpr int fewestSamples = 4;
// What redrawing one more rectangle costs, in pixels redrawn.
constexpr int64_t rectangleCost = 512;

bool rowsEqual(const uint32_t* a, const uint32_t* b, int from, int to) {
    return std::memcmp(a + from, b + from, static_cast<size_t>(to - from) * 4) == 0;
}

const uint32_t* pixelRow(const Image& image, int y) { return reinterpret_cast<const uint32_t*>(image.row(y)); }

// The image rows or columns [first, last] that show in framebuffer pixels
// [from, to) for blocks of s pixels starting at origin.
struct Range {
    int first, last;
};
Range shownRange(int from, int to, long origin, int s) {
    return {static_cast<int>((from - origin) / s), static_cast<int>((to - 1 - origin) / s)};
}

// True when, over a sample of rows, the changed pixels spread across more
// than half of the width.
bool mostlyChanged(const Image& before, const Image& after, Range columns, Range rows) {
    const int width = columns.last - columns.first + 1;
    int64_t spread = 0, samples = 0;
    for (int y = rows.first; y <= rows.last; y += sampleStride, ++samples) {
        const uint32_t *a = pixelRow(before, y), *b = pixelRow(after, y);
        if (rowsEqual(a, b, columns.first, columns.last + 1)) continue;
        int first = columns.first, last = columns.last;
        while (a[first] == b[first]) ++first;
        while (a[last] == b[last]) --last;
        spread += last - first + 1;
    }
    return samples >= fewestSamples && 2 * spread > samples * width;
}

// The same judgement from a change record, which needs no pixels read.
bool mostlyChanged(const ImageChanges& changes, Range columns, Range rows) {
    const int width = columns.last - columns.first + 1;
    int64_t spread = 0, samples = 0;
    for (int y = rows.first; y <= rows.last; y += sampleStride, ++samples) {
        int first = columns.last + 1, last = columns.first - 1;
        for (uint32_t k = changes.rowStart[y]; k < changes.rowStart[y + 1]; ++k) {
            const ImageChanges::Span span = changes.spans[k];
            if (span.x1 <= columns.first || span.x0 > columns.last) continue;
            first = std::min(first, std::max(span.x0, columns.first));
            last = std::max(last, std::min(span.x1 - 1, columns.last));
        }
        if (first <= last) spread += last - first + 1;
    }
    return samples >= fewestSamples && 2 * spread > samples * width;
}

bool imagesDiffer(const Image& before, const Image& after) {
    for (int y = 0; y < after.height(); ++y)
        if (!rowsEqual(pixelRow(before, y), pixelRow(after, y), 0, after.width())) return true;
    return false;
}

}  // namespace

void drawImageReference(PixelView fb, const Image& image, Rect rect) {
    drawImageSampled(fb, image, rect, {0, 0, fb.width, fb.height});
}

void SoftwareGraphicsContext::resolve(DrawOp& op) const {
    op.bounds = {};
    op.fill = {};
    op.place = {};
    const Rect rect = op.rect;
    const PixelRect buffer = wholeBuffer();
    if (buffer.empty() || !(rect.width > 0) || !(rect.height > 0)) return;
    const double W = fb_.width, H = fb_.height;

    if (!op.image) {
        // Framebuffer space: x to the right, y downwards from the top row.
        const double fx0 = std::max(0.0, rect.x), fx1 = std::min(W, rect.x + rect.width);
        const double fy0 = std::max(0.0, H - (rect.y + rect.height)), fy1 = std::min(H, H - rect.y);
        if (!(fx0 < fx1) || !(fy0 < fy1)) return;
        FillGeometry& f = op.fill;
        f.grey = static_cast<uint32_t>(std::lround(std::clamp(op.colour.white, 0.0, 1.0) * 255.0));
        f.alpha = std::clamp(op.colour.alpha, 0.0, 1.0);
        f.fy0 = fy0;
        f.fy1 = fy1;
        f.c0 = static_cast<int>(std::floor(fx0));
        f.c1 = static_cast<int>(std::ceil(fx1));
        f.r0 = static_cast<int>(std::floor(fy0));
        f.r1 = static_cast<int>(std::ceil(fy1));
        f.opaqueWhole = f.alpha == 1.0 && f.c0 == fx0 && f.c1 == fx1 && f.r0 == fy0 && f.r1 == fy1;
        // Whole columns share one weight per row; only the two end columns can differ.
        f.full0 = std::min(f.c1, static_cast<int>(std::ceil(fx0)));
        f.full1 = std::max(f.full0, static_cast<int>(std::floor(fx1)));
        f.coverLeft = std::min<double>(f.c0 + 1, fx1) - fx0;
        f.coverRight = fx1 - std::max<double>(f.c1 - 1, fx0);
        op.bounds = {f.c0, f.r0, f.c1 - f.c0, f.r1 - f.r0};
        return;
    }

    const Image& image = *op.image;
    const double sx = rect.width / image.width(), sy = rect.height / image.height();
    const bool blocks = sx == sy && sx >= 1 && sx <= largestBlock && sx == std::floor(sx) && rect.x == std::floor(rect.x) &&
                       rect.y == std::floor(rect.y) && std::abs(rect.x) < 1e9 && std::abs(rect.y) < 1e9;
    if (blocks) {
        const int s = static_cast<int>(sx);
        const long left = static_cast<long>(rect.x);
        const long top = static_cast<long>(H - (rect.y + rect.height));  // framebuffer row of image row 0
        op.place = {s, left, top};
        const long c0 = std::max(0L, left), c1 = std::min<long>(fb_.width, left + static_cast<long>(image.width()) * s);
        const long r0 = std::max(0L, top), r1 = std::min<long>(fb_.height, top + static_cast<long>(image.height()) * s);
        if (c0 < c1 && r0 < r1)
            op.bounds = {static_cast<int>(c0), static_cast<int>(r0), static_cast<int>(c1 - c0), static_cast<int>(r1 - r0)};
        return;
    }
    // Sampled at pixel centres: the pixels whose centres lie inside rect, and a margin.
    if (!std::isfinite(rect.x) || !std::isfinite(rect.y) || !std::isfinite(rect.width) || !std::isfinite(rect.height)) {
        op.bounds = buffer;
        return;
    }
    const double x0 = std::clamp(std::floor(rect.x - 0.5), 0.0, W), x1 = std::clamp(std::ceil(rect.x + rect.width + 0.5), 0.0, W);
    const double y0 = std::clamp(std::floor(H - (rect.y + rect.height) - 0.5), 0.0, H);
    const double y1 = std::clamp(std::ceil(H - rect.y + 0.5), 0.0, H);
    op.bounds = intersection(buffer, {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)});
}

void SoftwareGraphicsContext::paint(const DrawOp& op, PixelRect clip) {
    if (op.image)
        paintImage(op, clip);
    else
        paintFill(op, clip);
}

void SoftwareGraphicsContext::paintFill(const DrawOp& op, PixelRect clip) {
    const PixelRect area = intersection(op.bounds, clip);
    if (area.empty()) return;
    flush();
    const FillGeometry& f = op.fill;
    // An opaque fill of whole pixels is held back: an opaque image drawn over
    // all of it next makes writing it unnecessary.
    if (f.opaqueWhole) {
        pendingFill_ = PendingFill{area, 0xFF000000u | f.grey << 16 | f.grey << 8 | f.grey};
        return;
    }
    const bool left = f.c0 < f.full0 && area.x == f.c0;
    const bool right = f.full1 < f.c1 && !(f.c1 - 1 == f.c0 && f.c0 < f.full0) && area.right() == f.c1;
    const int middle0 = std::max(f.full0, area.x), middle1 = std::min(f.full1, area.right());
    for (int r = area.y; r < area.bottom(); ++r) {
        const double coverY = std::min<double>(r + 1, f.fy1) - std::max<double>(r, f.fy0);
        uint32_t* row = fb_.row(r);
        if (left) fillRun(row + f.c0, 1, f.grey, quantise(f.alpha * f.coverLeft * coverY));
        if (middle0 < middle1) fillRun(row + middle0, static_cast<size_t>(middle1 - middle0), f.grey, quantise(f.alpha * coverY));
        if (right) fillRun(row + f.c1 - 1, 1, f.grey, quantise(f.alpha * f.coverRight * coverY));
    }
}

void SoftwareGraphicsContext::paintImage(const DrawOp& op, PixelRect clip) {
    const Image& image = *op.image;
    const PixelRect area = intersection(op.bounds, clip);
    if (op.place.scale == 0) {
        flush();
        if (!area.empty()) drawImageSampled(fb_, image, op.rect, area);
        return;
    }
    if (pendingFill_ && contains(area, pendingFill_->area)) pendingFill_.reset();
    flush();
    if (area.empty()) return;
    // Whole-number scale at a whole-point origin: each image pixel becomes an
    // s x s block. Expand one image row into the first framebuffer row of its
    // block, then copy that row down the block.
    const int s = op.place.scale;
    const long left = op.place.left, top = op.place.top;
    const Range rows = shownRange(area.y, area.bottom(), top, s);
    for (int iy = rows.first; iy <= rows.last; ++iy) {
        const long blockTop = top + static_cast<long>(iy) * s;
        const long r0 = std::max<long>(area.y, blockTop), r1 = std::min<long>(area.bottom(), blockTop + s);
        uint32_t* first = fb_.row(static_cast<int>(r0));
        const uint32_t* src = pixelRow(image, iy);
        if (fb_.order == ChannelOrder::bgrx)
            expandRow<true>(src, first, area.x - left, area.right() - left, s, left);
        else
            expandRow<false>(src, first, area.x - left, area.right() - left, s, left);
        for (long r = r0 + 1; r < r1; ++r)
            std::memcpy(fb_.row(static_cast<int>(r)) + area.x, first + area.x, static_cast<size_t>(area.width) * 4);
    }
}

void SoftwareGraphicsContext::flush() {
    if (!pendingFill_) return;
    const PendingFill f = *pendingFill_;
    pendingFill_.reset();
    for (int r = f.area.y; r < f.area.bottom(); ++r) {
        uint32_t* row = fb_.row(r);
        std::fill(row + f.area.x, row + f.area.right(), f.colour);
    }
}

void SoftwareGraphicsContext::forgetHistory() {
    valid_ = false;
    shown_.clear();
    rowIndexValid_ = false;
}

bool SoftwareGraphicsContext::isCurrentFill(const DrawOp& op, Rect rect) const {
    return !op.image && op.rect == rect && op.colour.white == fill_.white && op.colour.alpha == fill_.alpha && op.quality == quality_;
}

void SoftwareGraphicsContext::fillRect(Rect rect) {
    if (recording_) {
        // A fill that repeats the last frame's at the same place in the list
        // (the scanlines) is already there.
        const std::size_t i = recorded_++;
        if (i < shown_.size() && isCurrentFill(shown_[i], rect)) return;
        DrawOp op{rect, fill_, std::nullopt, quality_, {}, {}, {}};
        resolve(op);
        differing_.push_back({i, std::move(op)});
        return;
    }
    DrawOp op{rect, fill_, std::nullopt, quality_, {}, {}, {}};
    resolve(op);
    forgetHistory();
    paintFill(op, wholeBuffer());
}

void SoftwareGraphicsContext::drawImage(const Image& image, Rect rect) {
    DrawOp op{rect, fill_, image, quality_, {}, {}, {}};
    resolve(op);
    if (recording_) {
        differing_.push_back({recorded_++, std::move(op)});
        return;
    }
    forgetHistory();
    paintImage(op, wholeBuffer());
}

void SoftwareGraphicsContext::retarget(PixelView target) {
    flush();
    const bool sameSize = target.width == fb_.width && target.height == fb_.height;
    fb_ = target;
    valid_ = false;
    if (sameSize) return;
    for (DrawOp& op : shown_) resolve(op);
    for (Differing& d : differing_) resolve(d.op);
    rowIndexValid_ = false;
}

void SoftwareGraphicsContext::switchBuffer(PixelView target) {
    if (target.width != fb_.width || target.height != fb_.height || target.order != fb_.order) {
        retarget(target);
        return;
    }
    flush();
    fb_ = target;
}

void SoftwareGraphicsContext::beginFrame() {
    flush();
    recording_ = true;
    recorded_ = 0;
    differing_.clear();
}

void SoftwareGraphicsContext::addDamage(PixelRect rect) {
    if (!rect.empty()) addedDamage_.push_back(rect);
}

void SoftwareGraphicsContext::addDamage(const Region& region) {
    for (const PixelRect& r : region) addDamage(r);
}

void SoftwareGraphicsContext::addRedraw(std::span<const PixelRect> rects) {
    for (const PixelRect& r : rects)
        if (!r.empty()) addedRedraw_.push_back(r);
}

bool SoftwareGraphicsContext::resetsEveryPixel(const std::vector<DrawOp>& ops) const {
    return !ops.empty() && !ops.front().image && ops.front().fill.opaqueWhole && ops.front().bounds == wholeBuffer();
}

void SoftwareGraphicsContext::endFrame() {
    recording_ = false;
    damage_.clear();
    changed_ = 0;
    redraw_.clear();
    const PixelRect whole = wholeBuffer();
    // A frame in which nothing was drawn shows the previous picture again.
    // Otherwise what each differing operation changes is gathered, and the
    // frame becomes the one shown; a list of another length is drawn whole.
    const bool drew = recorded_ > 0;
    bool drawWhole = !valid_ || (drew && recorded_ != shown_.size());
    if (drew) {
        if (!drawWhole)
            for (const Differing& d : differing_) collectChanges(shown_[d.index], d.op);
        if (recorded_ != shown_.size()) rowIndexValid_ = false;
        shown_.resize(recorded_);
        for (Differing& d : differing_) {
            if (!(shown_[d.index].bounds == d.op.bounds)) rowIndexValid_ = false;
            shown_[d.index] = std::move(d.op);
        }
        differing_.clear();
    }
    const std::vector<DrawOp>& ops = shown_;

    // Whole when the buffer's content is unknown, or when this picture
    // depends on what lay beneath it (then only a full draw gives it).
    const bool resets = resetsEveryPixel(ops);
    if (drew && !resets) drawWhole = true;
    appendInside(addedDamage_, whole, redraw_);
    addedDamage_.clear();
    // Past half the buffer one pass over all of it is cheaper than many rectangles.
    int64_t redrawCost = static_cast<int64_t>(redraw_.size()) * rectangleCost;
    for (const PixelRect& r : redraw_) redrawCost += r.area();
    if (resets && 2 * redrawCost >= whole.area()) drawWhole = true;
    // Missed pixels are redrawn with the changes, but not reported. A picture
    // that depends on what lay beneath can only be redrawn whole.
    const std::size_t changed = redraw_.size();
    appendInside(addedRedraw_, whole, redraw_);
    addedRedraw_.clear();
    if (!resets && redraw_.size() > changed) drawWhole = true;

    if (whole.empty()) {
        // Nothing to draw into.
    } else if (drawWhole) {
        redrawAll(ops);
        damage_.add(whole);
        redraw_.assign(1, whole);
        changed_ = 1;
    } else if (!redraw_.empty()) {
        // A picture drawn over what lay beneath cannot be redrawn in part;
        // the pixels added are reported as they are.
        if (resets) redrawDamaged(ops);
        changed_ = changed;
        damage_ = Region::covering(changes(), damageRects);
    }
    valid_ = !shown_.empty();
}

void SoftwareGraphicsContext::collectChanges(const DrawOp& before, const DrawOp& after) {
    const bool samePlace = before.rect == after.rect && before.quality == after.quality && bool(before.image) == bool(after.image);
    if (samePlace && !after.image && before.colour.white == after.colour.white && before.colour.alpha == after.colour.alpha) return;
    if (samePlace && after.image && before.image->width() == after.image->width() && before.image->height() == after.image->height()) {
        collectImageChanges(*before.image, after);
        return;
    }
    for (const PixelRect& r : {before.bounds, after.bounds})
        if (!r.empty()) redraw_.push_back(r);
}

void SoftwareGraphicsContext::collectImageChanges(const Image& before, const DrawOp& after) {
    const Image& image = *after.image;
    if (after.bounds.empty()) return;
    if (before.row(0) == image.row(0) && before.bytesPerRow() == image.bytesPerRow()) return;  // the same pixels
    if (after.place.scale == 0) {
        if (imagesDiffer(before, image)) redraw_.push_back(after.bounds);
        return;
    }
    // Only the image pixels that show are compared; an image that lists what
    // changed since before is not compared at all.
    const int s = after.place.scale;
    const Range columns = shownRange(after.bounds.x, after.bounds.right(), after.place.left, s);
    const Range rows = shownRange(after.bounds.y, after.bounds.bottom(), after.place.top, s);
    const ImageChanges* changes = image.changesSince(before);
    if (changes ? mostlyChanged(*changes, columns, rows) : mostlyChanged(before, image, columns, rows)) {
        redraw_.push_back(after.bounds);
        return;
    }
    openSpans_.clear();
    for (int y = rows.first; y <= rows.last; ++y) {
        rowSpans_.clear();
        if (changes)
            listedRowSpans(*changes, columns.first, columns.last + 1, y);
        else
            findChangedSpans(pixelRow(before, y), pixelRow(image, y), columns.first, columns.last + 1, chunkFlags_, rowSpans_);
        if (!rowSpans_.empty() || !openSpans_.empty()) mergeRowSpans(after, y);
    }
    rowSpans_.clear();
    mergeRowSpans(after, rows.last + 1);
}

void SoftwareGraphicsContext::listedRowSpans(const ImageChanges& changes, int from, int to, int row) {
    for (uint32_t k = changes.rowStart[row]; k < changes.rowStart[row + 1]; ++k) {
        const ImageChanges::Span span = changes.spans[k];
        const int x0 = std::max(span.x0, from), x1 = std::min(span.x1, to);
        if (x0 < x1) rowSpans_.push_back({x0, x1});
    }
}

void SoftwareGraphicsContext::mergeRowSpans(const DrawOp& after, int row) {
    // A span still open continues when this row has one over the same
    // columns; any other ends above this row and becomes damage.
    const auto close = [&](const Span& span) {
        const int s = after.place.scale;
        const long x = after.place.left + static_cast<long>(span.x0) * s, y = after.place.top + static_cast<long>(span.y0) * s;
        const long x1 = after.place.left + static_cast<long>(span.x1) * s, y1 = after.place.top + static_cast<long>(row) * s;
        const long cx0 = std::max<long>(x, after.bounds.x), cx1 = std::min<long>(x1, after.bounds.right());
        const long cy0 = std::max<long>(y, after.bounds.y), cy1 = std::min<long>(y1, after.bounds.bottom());
        if (cx0 < cx1 && cy0 < cy1)
            redraw_.push_back({static_cast<int>(cx0), static_cast<int>(cy0), static_cast<int>(cx1 - cx0), static_cast<int>(cy1 - cy0)});
    };
    nextSpans_.clear();
    std::size_t i = 0, j = 0;
    while (i < openSpans_.size() || j < rowSpans_.size()) {
        const bool haveOpen = i < openSpans_.size(), haveRow = j < rowSpans_.size();
        if (haveOpen && haveRow && openSpans_[i].x0 == rowSpans_[j].x0 && openSpans_[i].x1 == rowSpans_[j].x1) {
            nextSpans_.push_back(openSpans_[i++]);
            ++j;
        } else if (haveOpen && (!haveRow || openSpans_[i].x0 <= rowSpans_[j].x0)) {
            close(openSpans_[i++]);
        } else {
            nextSpans_.push_back({rowSpans_[j].x0, rowSpans_[j].x1, row});
            ++j;
        }
    }
    openSpans_.swap(nextSpans_);
}

void SoftwareGraphicsContext::redrawAll(const std::vector<DrawOp>& ops) {
    for (const DrawOp& op : ops) paint(op, wholeBuffer());
    flush();
}

void SoftwareGraphicsContext::redrawDamaged(const std::vector<DrawOp>& ops) {
    // Index the operations by the framebuffer rows they touch, so each
    // damaged rectangle visits only the few that can reach it: first count
    // them per row, then place each row's in drawing order.
    // The index holds while no operation's bounds change (frame after frame).
    if (!rowIndexValid_) {
        const int H = fb_.height;
        rowStart_.assign(static_cast<std::size_t>(H) + 1, 0);
        for (const DrawOp& op : ops)
            for (int r = op.bounds.y; r < op.bounds.bottom(); ++r) ++rowStart_[static_cast<std::size_t>(r)];
        for (int r = 1; r < H; ++r) rowStart_[r] += rowStart_[r - 1];
        rowStart_[H] = H > 0 ? rowStart_[H - 1] : 0;
        rowOps_.resize(rowStart_[H]);
        for (std::size_t i = ops.size(); i-- > 0;)
            for (int r = ops[i].bounds.y; r < ops[i].bounds.bottom(); ++r) rowOps_[--rowStart_[r]] = static_cast<uint32_t>(i);
        rowIndexValid_ = true;
    }

    opMarks_.assign((ops.size() + 63) / 64, 0);
    for (const PixelRect& rect : redraw_) {
        for (int r = rect.y; r < rect.bottom(); ++r)
            for (uint32_t k = rowStart_[r]; k < rowStart_[r + 1]; ++k) opMarks_[rowOps_[k] / 64] |= uint64_t{1} << (rowOps_[k] % 64);
        // Every operation that meets the rectangle, in drawing order.
        for (std::size_t w = 0; w < opMarks_.size(); ++w)
            for (uint64_t bits = std::exchange(opMarks_[w], 0); bits; bits &= bits - 1) {
                const DrawOp& op = ops[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
                if (intersects(op.bounds, rect)) paint(op, rect);
            }
        flush();
    }
}

}  // namespace platform
