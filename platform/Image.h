#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// Which pixels of an image differ from the image its maker made just before
// it (the base): per row, spans of columns that hold every changed pixel and
// start and end on one. Immutable once an image carries it.
struct ImageChanges {
    struct Span {
        int32_t x0, x1;  // columns x0 .. x1 - 1
    };
    // The base, named by its first pixel and its maker's serial number: while
    // an image refers to a block nobody writes to it, so the pair names one picture.
    const uint8_t* base = nullptr;
    uint64_t baseSerial = 0;
    std::vector<uint32_t> rowStart;  // row y's spans are spans[rowStart[y] .. rowStart[y + 1] - 1]
    std::vector<Span> spans;
};

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

    // An image its maker numbers serial (not 0), with the pixels that differ
    // from the maker's previous image, when known. Fails as above, or for a
    // change record whose rows do not match the image's.
    static std::optional<Image> create(int width, int height, int bytesPerRow, std::shared_ptr<const std::vector<uint8_t>> bytes,
                                       uint64_t serial, std::shared_ptr<const ImageChanges> changes) {
        auto image = create(width, height, bytesPerRow, std::move(bytes));
        if (!image || serial == 0) return std::nullopt;
        if (changes && (changes->rowStart.size() != static_cast<size_t>(height) + 1 || changes->rowStart.back() != changes->spans.size()))
            return std::nullopt;
        image->serial_ = serial;
        image->changes_ = std::move(changes);
        return image;
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

    // The pixels that differ from earlier, when this image was made right
    // after earlier by the same maker and says so; otherwise null.
    const ImageChanges* changesSince(const Image& earlier) const {
        if (!changes_ || earlier.serial_ == 0 || changes_->baseSerial != earlier.serial_ || changes_->base != earlier.bytes_->data())
            return nullptr;
        if (earlier.width_ != width_ || earlier.height_ != height_ || earlier.bytesPerRow_ != bytesPerRow_) return nullptr;
        return changes_.get();
    }

private:
    Image(int w, int h, int bpr, std::shared_ptr<const std::vector<uint8_t>> b)
        : width_(w), height_(h), bytesPerRow_(bpr), bytes_(std::move(b)) {}

    int width_;
    int height_;
    int bytesPerRow_;
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    uint64_t serial_ = 0;  // 0: not numbered
    std::shared_ptr<const ImageChanges> changes_;
};

}  // namespace platform
