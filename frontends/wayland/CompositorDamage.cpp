#include "frontends/wayland/CompositorDamage.h"

#include <algorithm>
#include <climits>

namespace platform {

namespace {

// A join's cost change and the index of the span left of the gap share one
// word, the index in the low bits, so that sorting the words orders the
// joins by cost.
constexpr int gapIndexBits = 24;
constexpr int64_t gapIndexMask = (int64_t{1} << gapIndexBits) - 1;

int64_t totalCost(const std::vector<DamageSpan>& spans) {
    int64_t total = 0;
    for (const DamageSpan& s : spans) total += CompositorDamage::costOf(s);
    return total;
}

bool spanBefore(const DamageSpan& a, const DamageSpan& b) {
    if (a.row != b.row) return a.row < b.row;
    return a.x0 != b.x0 ? a.x0 < b.x0 : a.top < b.top;
}

DamageSpan boundingBox(const DamageSpan& a, const DamageSpan& b) {
    return {a.row, std::min(a.x0, b.x0), std::max(a.x1, b.x1), std::min(a.top, b.top), std::max(a.bottom, b.bottom)};
}

bool meet(const DamageSpan& a, const DamageSpan& b) {
    return a.x0 < b.x1 && b.x0 < a.x1 && a.top < b.bottom && b.top < a.bottom;
}

bool sameColumns(const std::vector<DamageSpan>& a, const std::vector<DamageSpan>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const DamageSpan& p, const DamageSpan& q) { return p.x0 == q.x0 && p.x1 == q.x1; });
}

}  // namespace

std::size_t BandCounter::count(const std::vector<DamageSpan>& a, const std::vector<DamageSpan>& b, bool acrossRows) {
    count_ = 0;
    lastBand_.clear();
    lastBottom_ = INT_MIN;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const int row = j == b.size() || (i < a.size() && a[i].row < b[j].row) ? a[i].row : b[j].row;
        row_.clear();
        for (; i < a.size() && a[i].row == row; ++i) row_.push_back(a[i]);
        for (; j < b.size() && b[j].row == row; ++j) row_.push_back(b[j]);
        if (!acrossRows) lastBottom_ = INT_MIN;
        // Bands break wherever a rectangle starts or ends.
        edges_.clear();
        for (const DamageSpan& r : row_) {
            edges_.push_back(r.top);
            edges_.push_back(r.bottom);
        }
        std::sort(edges_.begin(), edges_.end());
        edges_.erase(std::unique(edges_.begin(), edges_.end()), edges_.end());
        for (std::size_t e = 0; e + 1 < edges_.size(); ++e) {
            band_.clear();
            for (const DamageSpan& r : row_)
                if (r.top <= edges_[e] && r.bottom >= edges_[e + 1]) band_.push_back(r);
            if (band_.empty()) continue;
            std::sort(band_.begin(), band_.end(), [](const DamageSpan& p, const DamageSpan& q) { return p.x0 < q.x0; });
            std::size_t n = 0;
            for (const DamageSpan& s : band_) {
                if (n > 0 && s.x0 <= band_[n - 1].x1)
                    band_[n - 1].x1 = std::max(band_[n - 1].x1, s.x1);
                else
                    band_[n++] = s;
            }
            band_.resize(n);
            addBand(edges_[e], edges_[e + 1]);
        }
    }
    return count_;
}

void BandCounter::addBand(int top, int bottom) {
    if (top != lastBottom_ || !sameColumns(band_, lastBand_)) {
        count_ += band_.size();
        lastBand_ = band_;
    }
    lastBottom_ = bottom;
}

std::ptrdiff_t CompositorDamage::cheapestMerge(int64_t& delta) const {
    std::ptrdiff_t best = -1;
    for (std::size_t k = 0; k + 1 < spans_.size(); ++k) {
        const DamageSpan &a = spans_[k], &b = spans_[k + 1];
        if (a.row != b.row) continue;
        const int64_t d = costOf(boundingBox(a, b)) - costOf(a) - costOf(b);
        if (best < 0 || d < delta) {
            delta = d;
            best = static_cast<std::ptrdiff_t>(k);
        }
    }
    return best;
}

void CompositorDamage::merge(std::size_t k) {
    DamageSpan box = boundingBox(spans_[k], spans_[k + 1]);
    spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(k) + 1);
    // The box may reach others of its row: it takes them in, so the
    // rectangles stay disjoint.
    for (bool grew = true; grew;) {
        grew = false;
        for (std::size_t m = 0; m < spans_.size(); ++m) {
            if (m == k || spans_[m].row != box.row || !meet(spans_[m], box)) continue;
            box = boundingBox(box, spans_[m]);
            spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(m));
            if (m < k) --k;
            grew = true;
            break;
        }
    }
    spans_[k] = box;
    std::sort(spans_.begin(), spans_.end(), spanBefore);
}

bool CompositorDamage::fits(const std::vector<DamageSpan>& spans) {
    return bands_.count(spans, {}, false) <= frameRects && bands_.count(spans, last_) <= compositorRects;
}

void CompositorDamage::mergeRectangles() {
    spans_ = pieces_;
    int64_t delta = 0;
    for (std::ptrdiff_t k = cheapestMerge(delta); k >= 0 && delta < 0; k = cheapestMerge(delta))
        merge(static_cast<std::size_t>(k));
    while (!fits(spans_)) {
        const std::ptrdiff_t k = cheapestMerge(delta);
        if (k < 0) {
            coverRows();
            return;
        }
        merge(static_cast<std::size_t>(k));
    }
}

void CompositorDamage::joinGaps(std::size_t joins) {
    joinAfter_.assign(rowSpans_.size(), 0);
    for (std::size_t g = 0; g < joins; ++g) joinAfter_[static_cast<std::size_t>(gaps_[g] & gapIndexMask)] = 1;
    rows_.clear();
    for (std::size_t k = 0; k < rowSpans_.size(); ++k) {
        if (k > 0 && joinAfter_[k - 1])
            rows_.back().x1 = rowSpans_[k].x1;
        else
            rows_.push_back(rowSpans_[k]);
    }
}

bool CompositorDamage::joinRowSpans() {
    rowSpans_.clear();
    for (const DamageSpan& p : pieces_) {
        if (!rowSpans_.empty() && rowSpans_.back().row == p.row && p.x0 <= rowSpans_.back().x1) {
            rowSpans_.back().x1 = std::max(rowSpans_.back().x1, p.x1);
            continue;
        }
        const int top = p.row * rowHeight_;
        rowSpans_.push_back({p.row, p.x0, p.x1, top, std::min(top + rowHeight_, height_)});
    }
    // Joining two spans of a row saves one rectangle and fills the gap;
    // filling one gap leaves the others as they were, so the k cheapest gaps
    // are the best k joins.
    gaps_.clear();
    std::size_t worthJoining = 0;
    for (std::size_t k = 0; k + 1 < rowSpans_.size(); ++k) {
        const DamageSpan &left = rowSpans_[k], &right = rowSpans_[k + 1];
        if (left.row != right.row) continue;
        const DamageSpan joined{left.row, left.x0, right.x1, left.top, left.bottom};
        const int64_t cost = costOf(joined) - costOf(left) - costOf(right);
        worthJoining += cost < 0;
        gaps_.push_back(cost * (int64_t{1} << gapIndexBits) + static_cast<int64_t>(k));
    }
    std::sort(gaps_.begin(), gaps_.end());
    const auto fitsWith = [&](std::size_t joins) {
        joinGaps(joins);
        return fits(rows_);
    };
    // Each row keeps a span, so this never passes the number of gaps.
    std::size_t least = rowSpans_.size() > frameRects ? rowSpans_.size() - frameRects : 0;
    least = std::max(least, worthJoining);
    if (fitsWith(least)) return true;
    // More joins leave fewer rectangles nearly always: search for the fewest
    // that fit, then go on one by one where that was not so.
    std::size_t lo = least, hi = gaps_.size();
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (fitsWith(mid))
            hi = mid;
        else
            lo = mid;
    }
    for (std::size_t joins = hi; joins <= gaps_.size(); ++joins)
        if (fitsWith(joins)) return true;
    return false;
}

void CompositorDamage::coverRows() {
    std::size_t n = 0;
    for (const DamageSpan& s : spans_) {
        if (n > 0 && spans_[n - 1].row == s.row) {
            spans_[n - 1].x0 = std::min(spans_[n - 1].x0, s.x0);
            spans_[n - 1].x1 = std::max(spans_[n - 1].x1, s.x1);
            continue;
        }
        const int top = s.row * rowHeight_;
        spans_[n++] = {s.row, s.x0, s.x1, top, std::min(top + rowHeight_, height_)};
    }
    spans_.resize(n);
    std::size_t k = 0;
    for (const DamageSpan& s : last_) {
        while (k < spans_.size() && spans_[k].row < s.row) ++k;
        if (k == spans_.size()) break;
        if (spans_[k].row != s.row) continue;
        spans_[k].x0 = std::min(spans_[k].x0, s.x0);
        spans_[k].x1 = std::max(spans_[k].x1, s.x1);
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
    pieces_.clear();
    for (const PixelRect& d : damage) {
        const PixelRect r = intersection(d, surface);
        if (r.empty()) continue;
        for (int row = r.y / rowHeight_; row <= (r.bottom() - 1) / rowHeight_; ++row) {
            const int top = std::max(r.y, row * rowHeight_), bottom = std::min(r.bottom(), (row + 1) * rowHeight_);
            pieces_.push_back({row, r.x, r.right(), top, bottom});
        }
    }
    std::sort(pieces_.begin(), pieces_.end(), spanBefore);

    mergeRectangles();
    if (joinRowSpans() && totalCost(rows_) < totalCost(spans_))
        std::swap(last_, rows_);
    else
        std::swap(last_, spans_);

    rects_.clear();
    for (const DamageSpan& s : last_) rects_.add(PixelRect{s.x0, s.top, s.width(), s.height()});
    return rects_;
}

}  // namespace platform
