#include "QuillmoorMothwake/Canvas.h"

#include <algorithm>
#include <cstring>

#include "platform/ChangedSpans.h"

namespace quillmoor {

Canvas::Canvas(int w, int h)
    : width(std::max(1, w)), height(std::max(1, h)),
      px(static_cast<size_t>(width) * static_cast<size_t>(height), opaqueBlack),
      tilesAcross((width + tileWidth - 1) >> tileShiftX),
      tilesDown((height + tileHeight - 1) >> tileShiftY),
      marks_(static_cast<size_t>(tilesAcross) * static_cast<size_t>(tilesDown), 0) {}

bool Canvas::beginMarkedDrawing(const void* painter) {
    const bool same = painter && painter == painter_;
    painter_ = painter;
    marked_ = true;
    return same;
}

void Canvas::markRect(int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width);
    y1 = std::min(y1, height);
    if (x0 >= x1 || y0 >= y1) return;
    for (int ty = y0 >> tileShiftY; ty <= (y1 - 1) >> tileShiftY; ++ty)
        std::fill_n(marks_.begin() + static_cast<std::ptrdiff_t>(ty) * tilesAcross + (x0 >> tileShiftX),
                    ((x1 - 1) >> tileShiftX) - (x0 >> tileShiftX) + 1, uint8_t{1});
}

void Canvas::endMarkedDrawing() const {
    std::fill(marks_.begin(), marks_.end(), uint8_t{0});
    marked_ = false;
}

void Canvas::markAll() { std::fill(marks_.begin(), marks_.end(), uint8_t{1}); }

Canvas::Write Canvas::chooseBlock(std::size_t& slot) const {
    const auto unshared = [&](std::size_t i) { return imageBytes_[i] && imageBytes_[i].use_count() == 1; };
    if (unshared(lastBlock_)) {
        slot = lastBlock_;
        return Write::inPlace;
    }
    slot = 1 - lastBlock_;
    if (!unshared(slot)) {
        // Missing, or still shown by an image someone keeps: a fresh block.
        imageBytes_[slot] = std::make_shared<std::vector<uint8_t>>(px.size() * 4);
        return Write::whole;
    }
    // The last record lists what changed since the image this block holds.
    const platform::ImageChanges* last = records_[lastRecord_].get();
    const bool knowsGap = last && platform::Image::sameBlock(last->base, imageBytes_[slot]) && last->baseSerial == blockSerial_[slot];
    return knowsGap ? Write::catchUp : Write::whole;
}

platform::ImageChanges& Canvas::freshRecord() const {
    std::size_t pick = records_.size();
    for (std::size_t i = 0; i < records_.size(); ++i)
        if (i != lastRecord_ && (!records_[i] || records_[i].use_count() == 1)) pick = i;
    if (pick == records_.size()) {
        // Every other record is still carried by an image: replace one.
        pick = (lastRecord_ + 1) % records_.size();
        records_[pick].reset();
    }
    if (!records_[pick]) records_[pick] = std::make_shared<platform::ImageChanges>();
    platform::ImageChanges& record = *records_[pick];
    record.spans.clear();
    record.rowStart.assign(1, 0);
    lastRecord_ = pick;
    return record;
}

namespace {

using Span = platform::ImageChanges::Span;

// Calls copy(x0, x1) for each run of columns in the union of two sorted
// lists of disjoint spans.
template <class Copy>
void copyUnion(const Span* a, const Span* aEnd, const Span* b, const Span* bEnd, Copy copy) {
    while (a != aEnd || b != bEnd) {
        const Span*& first = (b == bEnd || (a != aEnd && a->x0 <= b->x0)) ? a : b;
        int x0 = first->x0, x1 = first->x1;
        ++first;
        // Take in every span that starts inside the run, from either list.
        for (bool grew = true; grew;) {
            grew = false;
            for (const Span** list : {&a, &b}) {
                const Span* end = list == &a ? aEnd : bEnd;
                while (*list != end && (*list)->x0 <= x1) {
                    x1 = std::max(x1, (*list)->x1);
                    ++*list;
                    grew = true;
                }
            }
        }
        copy(x0, x1);
    }
}

}  // namespace

void Canvas::writeRow(Write write, std::size_t slot, int y, const platform::ImageChanges* before,
                      const platform::ImageChanges& now) const {
    const std::size_t offset = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    uint8_t* to = imageBytes_[slot]->data() + offset * 4;
    const uint32_t* from = px.data() + offset;
    const auto copy = [&](int x0, int x1) { std::memcpy(to + static_cast<std::size_t>(x0) * 4, from + x0, static_cast<std::size_t>(x1 - x0) * 4); };
    if (write == Write::whole) {
        copy(0, width);
        return;
    }
    const Span* a = now.spans.data() + now.rowStart[y];
    const Span* aEnd = now.spans.data() + now.rowStart[y + 1];
    if (write == Write::inPlace || !before) {
        for (; a != aEnd; ++a) copy(a->x0, a->x1);
        return;
    }
    // Catching up: what changed in the last image and what changes in this one.
    const Span* b = before->spans.data() + before->rowStart[y];
    const Span* bEnd = before->spans.data() + before->rowStart[y + 1];
    copyUnion(a, aEnd, b, bEnd, copy);
}

// Appends row y's changed spans: over the whole row, or after a marked
// drawing over the runs of marked tiles only, which are gathered once for
// each row of tiles.
void Canvas::findRowChanges(const uint32_t* base, int y, platform::ImageChanges& now) const {
    const std::size_t offset = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    if (!marked_) {
        platform::findChangedSpans(base + offset, px.data() + offset, 0, width, chunkFlags_, now.spans);
        return;
    }
    if ((y & (tileHeight - 1)) == 0) {
        markedRuns_.clear();
        const uint8_t* tiles = marks_.data() + static_cast<std::size_t>(y >> tileShiftY) * static_cast<std::size_t>(tilesAcross);
        for (int t = 0; t < tilesAcross;) {
            if (!tiles[t]) {
                ++t;
                continue;
            }
            const int first = t;
            while (t < tilesAcross && tiles[t]) ++t;
            markedRuns_.push_back({first << tileShiftX, std::min(width, t << tileShiftX)});
        }
    }
    for (const platform::ImageChanges::Span& run : markedRuns_)
        platform::findChangedSpans(base + offset, px.data() + offset, run.x0, run.x1, chunkFlags_, now.spans);
}

std::optional<platform::Image> Canvas::makeImage() const {
    const std::size_t bytes = px.size() * 4;
    if (px.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) return std::nullopt;
    if (!imageBytes_[lastBlock_]) {
        // The first image: nothing to compare with.
        imageBytes_[lastBlock_] = std::make_shared<std::vector<uint8_t>>(bytes);
        std::memcpy(imageBytes_[lastBlock_]->data(), px.data(), bytes);
        endMarkedDrawing();
        blockSerial_[lastBlock_] = ++serial_;
        return platform::Image::create(width, height, width * 4, std::shared_ptr<const std::vector<uint8_t>>(imageBytes_[lastBlock_]),
                                       serial_, nullptr);
    }
    // Compare with the last image row by row, writing each row of the new
    // one as soon as its changes are known, while both are in cache.
    const platform::ImageChanges* before = records_[lastRecord_].get();
    const std::size_t baseBlock = lastBlock_;
    std::size_t slot = 0;
    const Write write = chooseBlock(slot);
    platform::ImageChanges& now = freshRecord();
    now.base = imageBytes_[baseBlock];
    now.baseSerial = blockSerial_[baseBlock];
    now.rowStart.reserve(static_cast<std::size_t>(height) + 1);
    const auto* base = reinterpret_cast<const uint32_t*>(imageBytes_[baseBlock]->data());
    for (int y = 0; y < height; ++y) {
        findRowChanges(base, y, now);
        now.rowStart.push_back(static_cast<uint32_t>(now.spans.size()));
        writeRow(write, slot, y, before, now);
    }
    endMarkedDrawing();
    lastBlock_ = slot;
    blockSerial_[slot] = ++serial_;
    return platform::Image::create(width, height, width * 4, std::shared_ptr<const std::vector<uint8_t>>(imageBytes_[slot]), serial_,
                                   std::shared_ptr<const platform::ImageChanges>(records_[lastRecord_]));
}

namespace {

std::array<float, 16> buildBayer4() {
    static constexpr int m[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    std::array<float, 16> table{};
    for (size_t k = 0; k < 16; ++k) table[k] = (static_cast<float>(m[k]) + 0.5f) * 0.0625f;
    return table;
}

}  // namespace

const std::array<float, 16>& bayer4() {
    static const std::array<float, 16> table = buildBayer4();
    return table;
}

}  // namespace quillmoor
