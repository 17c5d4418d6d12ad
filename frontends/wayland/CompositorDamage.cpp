#include "frontends/wayland/CompositorDamage.h"

#include <algorithm>
#include <climits>

namespace platform {

namespace {

bool startsBefore(const DamageSpan& a, const DamageSpan& b) { return a.x0 < b.x0; }

bool sameColumns(const DamageSpan* a, const DamageSpan* b, std::size_t n) {
    return std::equal(a, a + n, b, [](const DamageSpan& p, const DamageSpan& q) { return p.x0 == q.x0 && p.x1 == q.x1; });
}

// Joins the spans of a row sorted by x0 that touch or overlap, in place.
void joinTouching(std::vector<DamageSpan>& row) {
    std::size_t n = 0;
    for (const DamageSpan& s : row) {
        if (n > 0 && s.x0 <= row[n - 1].x1)
            row[n - 1].x1 = std::max(row[n - 1].x1, s.x1);
        else
            row[n++] = s;
    }
    row.resize(n);
}

}  // namespace

const std::vector<DamageSpan>& Banding::of(const std::vector<DamageSpan>& rects) {
    all_.assign(rects.begin(), rects.end());
    std::sort(all_.begin(), all_.end(), [](const DamageSpan& p, const DamageSpan& q) { return p.top < q.top; });
    edges_.clear();
    for (const DamageSpan& r : all_) {
        edges_.push_back(r.top);
        edges_.push_back(r.bottom);
    }
    std::sort(edges_.begin(), edges_.end());
    edges_.erase(std::unique(edges_.begin(), edges_.end()), edges_.end());

    out_.clear();
    std::size_t bandStart = 0;
    int lastBottom = INT_MIN;
    for (std::size_t e = 0; e + 1 < edges_.size(); ++e) {
        const int top = edges_[e], bottom = edges_[e + 1];
        // Every rectangle reaching into these rows covers them: no edge lies between.
        slab_.clear();
        for (const DamageSpan& r : all_) {
            if (r.top > top) break;
            if (r.bottom > top) slab_.push_back(r);
        }
        if (slab_.empty()) continue;
        std::sort(slab_.begin(), slab_.end(), startsBefore);
        joinTouching(slab_);
        const std::size_t above = out_.size() - bandStart;
        if (lastBottom == top && above == slab_.size() && sameColumns(&out_[bandStart], slab_.data(), above)) {
            for (std::size_t k = bandStart; k < out_.size(); ++k) out_[k].bottom = bottom;
        } else {
            bandStart = out_.size();
            for (const DamageSpan& s : slab_) out_.push_back({s.x0, s.x1, top, bottom});
        }
        lastBottom = bottom;
    }
    return out_;
}

void CompositorDamage::findBands() {
    bands_.clear();
    for (std::size_t k = 0; k < spans_.size(); ++k) {
        if (bands_.empty() || spans_[k].top != spans_[bands_.back().first].top) bands_.push_back({k, k, 0});
        bands_.back().end = k + 1;
        bands_.back().cost += costOf(spans_[k]);
    }
}

void CompositorDamage::uniteSpans(std::size_t b) {
    const Band &upper = bands_[b], &lower = bands_[b + 1];
    const int top = spans_[upper.first].top, bottom = spans_[lower.first].bottom;
    united_.clear();
    std::merge(spans_.begin() + static_cast<std::ptrdiff_t>(upper.first),
               spans_.begin() + static_cast<std::ptrdiff_t>(upper.end),
               spans_.begin() + static_cast<std::ptrdiff_t>(lower.first),
               spans_.begin() + static_cast<std::ptrdiff_t>(lower.end), std::back_inserter(united_), startsBefore);
    joinTouching(united_);
    for (DamageSpan& s : united_) {
        s.top = top;
        s.bottom = bottom;
    }
}

CompositorDamage::PairSteps CompositorDamage::pairSteps(std::size_t b) {
    const Band &band = bands_[b], &lower = bands_[b + 1];
    const int64_t before = band.cost + lower.cost;
    const std::ptrdiff_t spans = static_cast<std::ptrdiff_t>(lower.end - band.first);
    uniteSpans(b);
    int64_t united = 0;
    for (const DamageSpan& s : united_) united += costOf(s);
    const DamageSpan box{std::min(spans_[band.first].x0, spans_[lower.first].x0),
                         std::max(spans_[band.end - 1].x1, spans_[lower.end - 1].x1), united_.front().top, united_.front().bottom};
    return {{Kind::unite, b, united - before, static_cast<std::ptrdiff_t>(united_.size()) - spans},
            {Kind::box, b, costOf(box) - before, 1 - spans}};
}

bool CompositorDamage::cheapestStep(bool saving, Step& best) {
    bool found = false;
    // Cheaper: least cost when saving, else least cost per rectangle saved.
    const auto consider = [&](const Step& step) {
        if (!saving && step.count >= 0) return;
        const bool better = saving ? step.cost < best.cost : step.cost * -best.count < best.cost * -step.count;
        if (!found || better) best = step;
        found = true;
    };
    for (std::size_t b = 0; b < bands_.size(); ++b) {
        const Band& band = bands_[b];
        for (std::size_t k = band.first; k + 1 < band.end; ++k) {
            const DamageSpan &left = spans_[k], &right = spans_[k + 1];
            const DamageSpan filled{left.x0, right.x1, left.top, left.bottom};
            consider({Kind::fillGap, k, costOf(filled) - costOf(left) - costOf(right), -1});
        }
        if (b + 1 == bands_.size()) continue;
        consider(pairs_[b].unite);
        consider(pairs_[b].box);
    }
    return found;
}

void CompositorDamage::replaceBands(std::size_t b, const std::vector<DamageSpan>& spans) {
    const auto first = spans_.begin() + static_cast<std::ptrdiff_t>(bands_[b].first);
    const auto end = spans_.begin() + static_cast<std::ptrdiff_t>(bands_[b + 1].end);
    const auto at = spans_.erase(first, end);
    spans_.insert(at, spans.begin(), spans.end());
}

void CompositorDamage::take(const Step& step) {
    // The band the step changes; a step that joins two bands leaves one.
    std::size_t b = step.at;
    switch (step.kind) {
    case Kind::fillGap:
        b = bandOf(step.at);
        spans_[step.at].x1 = spans_[step.at + 1].x1;
        spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(step.at) + 1);
        break;
    case Kind::unite:
        uniteSpans(step.at);
        replaceBands(step.at, united_);
        break;
    case Kind::box:
        uniteSpans(step.at);
        united_.front().x1 = united_.back().x1;
        united_.resize(1);
        replaceBands(step.at, united_);
        break;
    }
    findBands();
    // Only the pairs that band b is part of changed; the later ones moved up
    // by one when two bands became one.
    if (step.kind != Kind::fillGap) pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(b));
    if (b > 0) pairs_[b - 1] = pairSteps(b - 1);
    if (b + 1 < bands_.size()) pairs_[b] = pairSteps(b);
    for (std::size_t k = b + 1; k < pairs_.size(); ++k) pairs_[k].unite.at = pairs_[k].box.at = k;
}

std::size_t CompositorDamage::bandOf(std::size_t span) const {
    const auto after = std::upper_bound(bands_.begin(), bands_.end(), span, [](std::size_t k, const Band& band) { return k < band.first; });
    return static_cast<std::size_t>(after - bands_.begin()) - 1;
}

const Region& CompositorDamage::report(const Region& damage, int width, int height) {
    const PixelRect surface{0, 0, width, height};
    pieces_.clear();
    for (const PixelRect& d : damage) {
        const PixelRect r = intersection(d, surface);
        if (!r.empty()) pieces_.push_back({r.x, r.right(), r.y, r.bottom()});
    }
    spans_ = banding_.of(pieces_);
    findBands();
    pairs_.clear();
    for (std::size_t b = 0; b + 1 < bands_.size(); ++b) pairs_.push_back(pairSteps(b));

    Step step;
    while (cheapestStep(true, step) && step.cost < 0) take(step);
    while (spans_.size() > compositorRects && cheapestStep(false, step)) take(step);

    rects_.clear();
    for (const DamageSpan& s : spans_) rects_.add(PixelRect{s.x0, s.top, s.width(), s.height()});
    return rects_;
}

}  // namespace platform
