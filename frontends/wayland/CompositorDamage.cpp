#include "frontends/wayland/CompositorDamage.h"

#include <algorithm>

namespace platform {

namespace {

// A gap's cost and its index share one word, cost in the high bits, so that
// sorting the words orders the gaps by cost.
constexpr int gapIndexBits = 24;
constexpr uint64_t gapIndexMask = (uint64_t{1} << gapIndexBits) - 1;

bool spanBefore(const DamageSpan& a, const DamageSpan& b) { return a.row != b.row ? a.row < b.row : a.x0 < b.x0; }

// Sorts the spans and merges those of one row that overlap or touch.
void normalise(std::vector<DamageSpan>& spans) {
    std::sort(spans.begin(), spans.end(), spanBefore);
    std::size_t n = 0;
    for (const DamageSpan& s : spans) {
        if (n > 0 && spans[n - 1].row == s.row && s.x0 <= spans[n - 1].x1)
            spans[n - 1].x1 = std::max(spans[n - 1].x1, s.x1);
        else
            spans[n++] = s;
    }
    spans.resize(n);
}

bool sameColumns(const std::vector<DamageSpan>& a, const std::vector<DamageSpan>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const DamageSpan& p, const DamageSpan& q) { return p.x0 == q.x0 && p.x1 == q.x1; });
}

}  // namespace

std::size_t bandedRectCount(const std::vector<DamageSpan>& a, const std::vector<DamageSpan>& b,
                            std::vector<DamageSpan>& row, std::vector<DamageSpan>& lastRow) {
    std::size_t count = 0, i = 0, j = 0;
    lastRow.clear();
    while (i < a.size() || j < b.size()) {
        const int r = j == b.size() || (i < a.size() && a[i].row < b[j].row) ? a[i].row : b[j].row;
        row.clear();
        for (; i < a.size() && a[i].row == r; ++i) row.push_back(a[i]);
        for (; j < b.size() && b[j].row == r; ++j) row.push_back(b[j]);
        normalise(row);
        const bool continuesBandAbove = !lastRow.empty() && lastRow.front().row == r - 1 && sameColumns(row, lastRow);
        if (!continuesBandAbove) count += row.size();
        std::swap(row, lastRow);
    }
    return count;
}

void CompositorDamage::join(std::size_t joins) {
    joinAfter_.assign(spans_.size(), 0);
    for (std::size_t g = 0; g < joins; ++g) joinAfter_[gaps_[g] & gapIndexMask] = 1;
    joined_.clear();
    for (std::size_t k = 0; k < spans_.size(); ++k) {
        if (k > 0 && joinAfter_[k - 1])
            joined_.back().x1 = spans_[k].x1;
        else
            joined_.push_back(spans_[k]);
    }
}

const Region& CompositorDamage::report(const Region& damage, int width, int height) {
    if (width != width_ || height != height_) {
        width_ = width;
        height_ = height;
        rowHeight_ = std::max(1, (height + rows - 1) / rows);
        last_.clear();  // in rows of another size
    }
    const PixelRect surface{0, 0, width, height};
    spans_.clear();
    for (const PixelRect& d : damage) {
        const PixelRect r = intersection(d, surface);
        if (r.empty()) continue;
        for (int row = r.y / rowHeight_; row <= (r.bottom() - 1) / rowHeight_; ++row)
            spans_.push_back({row, r.x, r.right()});
    }
    normalise(spans_);

    // Filling one gap leaves the others as they were, so the k cheapest gaps
    // are the best k joins.
    gaps_.clear();
    for (std::size_t k = 0; k + 1 < spans_.size() && k <= gapIndexMask; ++k) {
        const DamageSpan &left = spans_[k], &right = spans_[k + 1];
        if (left.row != right.row) continue;
        const auto cost = static_cast<uint64_t>(right.x0 - left.x1) * static_cast<uint64_t>(rowHeight(left.row));
        gaps_.push_back(cost << gapIndexBits | k);
    }
    std::sort(gaps_.begin(), gaps_.end());
    std::size_t joins = spans_.size() > frameRects ? std::min(spans_.size() - frameRects, gaps_.size()) : 0;
    for (;; ++joins) {
        join(joins);
        if (joins == gaps_.size() || bandedRectCount(joined_, last_, row_, lastRow_) <= compositorRects) break;
    }
    std::swap(last_, joined_);

    rects_.clear();
    for (const DamageSpan& s : last_) rects_.add(PixelRect{s.x0, s.row * rowHeight_, s.x1 - s.x0, rowHeight(s.row)});
    return rects_;
}

}  // namespace platform
