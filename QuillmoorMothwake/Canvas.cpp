#include "QuillmoorMothwake/Canvas.h"

#include <algorithm>

namespace quillmoor {

Canvas::Canvas(int w, int h)
    : width(std::max(1, w)), height(std::max(1, h)),
      px(static_cast<size_t>(width) * static_cast<size_t>(height), opaqueBlack) {}

std::optional<platform::Image> Canvas::makeImage() const {
    const auto* first = reinterpret_cast<const uint8_t*>(px.data());
    if (imageBytes_ && imageBytes_.use_count() == 1)
        imageBytes_->assign(first, first + px.size() * 4);
    else
        imageBytes_ = std::make_shared<std::vector<uint8_t>>(first, first + px.size() * 4);
    return platform::Image::create(width, height, width * 4, std::shared_ptr<const std::vector<uint8_t>>(imageBytes_));
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
