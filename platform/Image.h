#pragma once

#include <algorithm>
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
    // The base: the block it lies in, and its maker's serial number for the
    // picture the block held then. Nobody writes to a block while an image
    // refers to it, and a block (watched, not kept) is never mistaken for a
    // later one at the same address, so the pair names one picture.
    std::weak_ptr<const std::vector<uint8_t>> base;
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
        if (changes && !rowsMatch(*changes, height)) return std::nullopt;
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
        if (!changes_ || earlier.serial_ == 0 || changes_->baseSerial != earlier.serial_ || !sameBlock(changes_->base, earlier.bytes_))
            return nullptr;
        if (earlier.width_ != width_ || earlier.height_ != height_ || earlier.bytesPerRow_ != bytesPerRow_) return nullptr;
        return changes_.get();
    }

    // True when a watches the very block b holds.
    static bool sameBlock(const std::weak_ptr<const std::vector<uint8_t>>& a, const std::shared_ptr<const std::vector<uint8_t>>& b) {
        return !a.owner_before(b) && !b.owner_before(a);
    }

private:
    // The rows index every span in order, and nothing beyond.
    static bool rowsMatch(const ImageChanges& changes, int height) {
        const std::vector<uint32_t>& starts = changes.rowStart;
        return starts.size() == static_cast<size_t>(height) + 1 && starts.front() == 0 && std::is_sorted(starts.begin(), starts.end()) &&
               starts.back() == changes.spans.size();
    }

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
