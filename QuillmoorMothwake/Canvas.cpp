#include "QuillmoorMothwake/Canvas.h"

#include <algorithm>

namespace quillmoor {

Canvas::Canvas(int w, int h)
    : width(std::max(1, w)), height(std::max(1, h)),
      px(static_cast<size_t>(width) * static_cast<size_t>(height), opaqueBlack) {}

std::optional<platform::Image> Canvas::makeImage() const {
    const auto* first = reinterpret_cast<const uint8_t*>(px.data());
    const auto unshared = [&](std::size_t i) { return imageBytes_[i] && imageBytes_[i].use_count() == 1; };
    // The last block while nobody holds its image, else the other one.
    const std::size_t slot = unshared(lastBlock_) ? lastBlock_ : 1 - lastBlock_;
    if (unshared(slot))
        imageBytes_[slot]->assign(first, first + px.size() * 4);
    else
        imageBytes_[slot] = std::make_shared<std::vector<uint8_t>>(first, first + px.size() * 4);
    lastBlock_ = slot;
    return platform::Image::create(width, height, width * 4, std::shared_ptr<const std::vector<uint8_t>>(imageBytes_[slot]));
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
