// The PNG encoder of the Windows build, which needs nothing but zlib: the
// signature, the header, the sRGB intent the libpng writer also records, the
// filtered rows deflated into IDAT chunks, and the end. Each row takes the
// filter whose bytes have the smallest sum of magnitudes, libpng's own
// choice, which suits both flat pixel art and the scaled screen's scanlines.
// next_in as a pointer to const: deflate does not change its input.
#define ZLIB_CONST
#include <zlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/PngWriter.h"

namespace platform {

namespace {

constexpr std::array<uint8_t, 8> signature = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
constexpr std::size_t bytesPerPixel = 3;
constexpr std::size_t chunkCapacity = std::size_t{1} << 16;
constexpr int filterCount = 5;  // none, sub, up, average, Paeth

void putBig32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

// Writes one chunk: length, type, data and the CRC of type and data.
bool writeChunk(OutputFile& out, const char (&type)[5], const uint8_t* data, std::size_t size) {
    std::array<uint8_t, 8> head{};
    putBig32(head.data(), static_cast<uint32_t>(size));
    for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<uint8_t>(type[i]);
    uLong crc = crc32(0, head.data() + 4, 4);
    if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
    std::array<uint8_t, 4> tail{};
    putBig32(tail.data(), static_cast<uint32_t>(crc));
    return out.write(head.data(), head.size()) && (size == 0 || out.write(data, size)) && out.write(tail.data(), tail.size());
}

void toRgb(const uint32_t* row, int width, uint8_t* rgb) {
    for (int x = 0; x < width; ++x) {
        rgb[x * 3 + 0] = static_cast<uint8_t>(row[x]);
        rgb[x * 3 + 1] = static_cast<uint8_t>(row[x] >> 8);
        rgb[x * 3 + 2] = static_cast<uint8_t>(row[x] >> 16);
    }
}

uint8_t paeth(int left, int above, int aboveLeft) {
    const int estimate = left + above - aboveLeft;
    const int toLeft = std::abs(estimate - left), toAbove = std::abs(estimate - above), toCorner = std::abs(estimate - aboveLeft);
    if (toLeft <= toAbove && toLeft <= toCorner) return static_cast<uint8_t>(left);
    return static_cast<uint8_t>(toAbove <= toCorner ? above : aboveLeft);
}

// The row filtered with each filter in turn: its type byte, then the bytes
// less their prediction from the pixel to the left and the row above (the
// row above the first is all zeros).
class RowFilters {
public:
    explicit RowFilters(std::size_t rowBytes) : rowBytes_(rowBytes), filtered_(filterCount, std::vector<uint8_t>(rowBytes + 1)) {}

    // The filtered row that is likely to compress best.
    const std::vector<uint8_t>& best(const uint8_t* row, const uint8_t* above) {
        int chosen = 0;
        uint64_t lowest = UINT64_MAX;
        for (int type = 0; type < filterCount; ++type) {
            std::vector<uint8_t>& out = filtered_[static_cast<std::size_t>(type)];
            out[0] = static_cast<uint8_t>(type);
            uint64_t cost = 0;
            for (std::size_t i = 0; i < rowBytes_; ++i) {
                const int left = i >= bytesPerPixel ? row[i - bytesPerPixel] : 0;
                const int corner = i >= bytesPerPixel ? above[i - bytesPerPixel] : 0;
                const uint8_t value = static_cast<uint8_t>(row[i] - predict(type, left, above[i], corner));
                out[i + 1] = value;
                cost += value < 128 ? value : 256 - value;
            }
            if (cost < lowest) {
                lowest = cost;
                chosen = type;
            }
        }
        return filtered_[static_cast<std::size_t>(chosen)];
    }

private:
    static int predict(int type, int left, int above, int corner) {
        switch (type) {
        case 1: return left;
        case 2: return above;
        case 3: return (left + above) / 2;
        case 4: return paeth(left, above, corner);
        default: return 0;
        }
    }

    std::size_t rowBytes_;
    std::vector<std::vector<uint8_t>> filtered_;
};

// zlib's deflate, its output gathered into IDAT chunks of chunkCapacity
// bytes. Ends the stream whatever happens.
class IdatStream {
public:
    explicit IdatStream(OutputFile& out) : out_(out), buffer_(chunkCapacity) {
        ready_ = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_FILTERED) == Z_OK;
        if (!ready_) out_.fail("out of memory");
        stream_.next_out = buffer_.data();
        stream_.avail_out = static_cast<uInt>(buffer_.size());
    }
    ~IdatStream() {
        if (ready_) deflateEnd(&stream_);
    }
    IdatStream(const IdatStream&) = delete;
    IdatStream& operator=(const IdatStream&) = delete;

    bool ready() const { return ready_; }

    bool add(const std::vector<uint8_t>& bytes) {
        stream_.next_in = bytes.data();
        stream_.avail_in = static_cast<uInt>(bytes.size());
        while (stream_.avail_in > 0)
            if (!step(Z_NO_FLUSH)) return false;
        return true;
    }

    bool finish() {
        int status = Z_OK;
        while (status != Z_STREAM_END) {
            status = deflate(&stream_, Z_FINISH);
            if ((status != Z_OK && status != Z_STREAM_END) || !flush(status == Z_STREAM_END))
                return fail(status);
        }
        return true;
    }

private:
    bool step(int mode) {
        const int status = deflate(&stream_, mode);
        return (status == Z_OK || status == Z_BUF_ERROR) && flush(false) ? true : fail(status);
    }

    // Writes the gathered output as a chunk when the buffer is full, or at
    // the end whatever is in it.
    bool flush(bool last) {
        const std::size_t filled = buffer_.size() - stream_.avail_out;
        if (filled == 0 || (!last && stream_.avail_out > 0)) return true;
        if (!writeChunk(out_, "IDAT", buffer_.data(), filled)) return false;
        stream_.next_out = buffer_.data();
        stream_.avail_out = static_cast<uInt>(buffer_.size());
        return true;
    }

    // A failure to write is already recorded; only zlib's own needs words.
    bool fail(int status) {
        if (status == Z_MEM_ERROR) out_.fail("out of memory");
        else if (out_.error().empty()) out_.fail(stream_.msg ? stream_.msg : "compression failed");
        return false;
    }

    OutputFile& out_;
    std::vector<uint8_t> buffer_;
    z_stream stream_{};
    bool ready_ = false;
};

bool writeHeader(OutputFile& out, int width, int height) {
    std::array<uint8_t, 13> header{};
    putBig32(header.data(), static_cast<uint32_t>(width));
    putBig32(header.data() + 4, static_cast<uint32_t>(height));
    header[8] = 8;  // bits per sample
    header[9] = 2;  // truecolour; compression, filter method and interlace stay 0
    const uint8_t perceptual = 0;
    return out.write(signature.data(), signature.size()) && writeChunk(out, "IHDR", header.data(), header.size()) &&
           writeChunk(out, "sRGB", &perceptual, 1);
}

}  // namespace

bool writePng(OutputFile& out, const uint32_t* pixels, int width, int height) {
    if (width <= 0 || height <= 0) {
        out.fail("a PNG needs at least one pixel");
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel;
    std::vector<uint8_t> row(rowBytes), above(rowBytes, 0);
    RowFilters filters(rowBytes);
    IdatStream idat(out);
    if (!idat.ready() || !writeHeader(out, width, height)) return false;
    for (int y = 0; y < height; ++y) {
        toRgb(pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), width, row.data());
        if (!idat.add(filters.best(row.data(), above.data()))) return false;
        row.swap(above);
    }
    return idat.finish() && writeChunk(out, "IEND", nullptr, 0);
}

}  // namespace platform
