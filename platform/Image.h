#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// An immutable sRGB image, 8 bits per component, 32 bits per pixel: red,
// green, blue in the first three bytes of each pixel, the fourth ignored.
// Copies share the pixel block.
class Image {
public:
    // Fails (no image) for empty sizes or a block shorter than height rows.
    static std::optional<Image> create(int width, int height, int bytesPerRow, std::vector<uint8_t> bytes) {
        return create(width, height, bytesPerRow, std::make_shared<const std::vector<uint8_t>>(std::move(bytes)));
    }

    // Shares a block that nobody writes to while any image refers to it.
    static std::optional<Image> create(int width, int height, int bytesPerRow,
                                       std::shared_ptr<const std::vector<uint8_t>> bytes) {
        if (width < 1 || height < 1 || bytesPerRow < width * 4 || !bytes) return std::nullopt;
        if (bytes->size() < static_cast<size_t>(bytesPerRow) * static_cast<size_t>(height)) return std::nullopt;
        return Image(width, height, bytesPerRow, std::move(bytes));
    }

    int width() const { return width_; }
    int height() const { return height_; }
    int bytesPerRow() const { return bytesPerRow_; }
    const uint8_t* row(int y) const { return bytes_->data() + static_cast<size_t>(y) * bytesPerRow_; }

    // The pixel as 0xXXBBGGRR, read in memory order red, green, blue, X.
    uint32_t pixel(int x, int y) const {
        const uint8_t* p = row(y) + x * 4;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }

private:
    Image(int w, int h, int bpr, std::shared_ptr<const std::vector<uint8_t>> b)
        : width_(w), height_(h), bytesPerRow_(bpr), bytes_(std::move(b)) {}

    int width_;
    int height_;
    int bytesPerRow_;
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
};

}  // namespace platform
