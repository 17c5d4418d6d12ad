#include "frontends/x11/X11Pixels.h"

#include <bit>
#include <cstring>

namespace platform {

std::optional<ChannelPlace> placeOf(uint32_t mask) {
    if (mask == 0) return std::nullopt;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    if ((mask >> shift) != (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1)) return std::nullopt;
    return ChannelPlace{shift, bits};
}

bool isSupported(const PixelLayout& layout) {
    const bool depthOk = layout.bitsPerPixel == 16 || layout.bitsPerPixel == 24 || layout.bitsPerPixel == 32;
    return depthOk && placeOf(layout.redMask) && placeOf(layout.greenMask) && placeOf(layout.blueMask);
}

namespace {

inline uint32_t place(uint32_t value8, ChannelPlace p) {
    const uint32_t v = p.bits >= 8 ? value8 << (p.bits - 8) : value8 >> (8 - p.bits);
    return v << p.shift;
}

}  // namespace

uint32_t encodePixel(uint32_t rgbx, const PixelLayout& layout) {
    return place(rgbx & 0xFFu, *placeOf(layout.redMask)) | place((rgbx >> 8) & 0xFFu, *placeOf(layout.greenMask)) |
           place((rgbx >> 16) & 0xFFu, *placeOf(layout.blueMask));
}

namespace {

bool isHostBgrx(const PixelLayout& layout) {
    return layout.bitsPerPixel == 32 && layout.mostSignificantFirst == (std::endian::native == std::endian::big) &&
           layout.redMask == 0xFF0000u && layout.greenMask == 0xFF00u && layout.blueMask == 0xFFu;
}

}  // namespace

ChannelOrder preferredOrder(const PixelLayout& layout) {
    return isHostBgrx(layout) ? ChannelOrder::bgrx : ChannelOrder::rgbx;
}

void writeFrame(const Framebuffer& frame, const PixelLayout& layout, uint8_t* image, int bytesPerRow) {
    writeFrame(frame, layout, image, bytesPerRow, {0, 0, frame.width, frame.height});
}

void writeFrame(const Framebuffer& frame, const PixelLayout& layout, uint8_t* image, int bytesPerRow, PixelRect area) {
    area = intersection(area, {0, 0, frame.width, frame.height});
    if (area.empty()) return;
    const int bytes = layout.bitsPerPixel / 8;
    const auto source = [&](int y) { return frame.px.data() + static_cast<size_t>(y) * frame.width + area.x; };
    const auto target = [&](int y) { return image + static_cast<size_t>(y) * bytesPerRow + static_cast<size_t>(area.x) * bytes; };
    if (frame.order == ChannelOrder::bgrx && isHostBgrx(layout)) {
        for (int y = area.y; y < area.bottom(); ++y)
            std::memcpy(target(y), source(y), static_cast<size_t>(area.width) * 4);
        return;
    }
    const ChannelPlace r = *placeOf(layout.redMask), g = *placeOf(layout.greenMask), b = *placeOf(layout.blueMask);
    const bool hostOrder = layout.mostSignificantFirst == (std::endian::native == std::endian::big);
    const bool eightBit = r.bits == 8 && g.bits == 8 && b.bits == 8;
    const bool swapped = frame.order == ChannelOrder::bgrx;

    // Local copies: stores through the byte pointer could alias the frame's
    // fields, which would otherwise be reloaded on every pixel.
    const int width = area.width;
    for (int y = area.y; y < area.bottom(); ++y) {
        const uint32_t* src = source(y);
        uint8_t* dst = target(y);
        if (bytes == 4 && hostOrder && eightBit && !swapped) {
            if (r.shift == 16 && g.shift == 8 && b.shift == 0) {
                // BGRX, what nearly every server uses: red and blue swap places.
                // Fixed shifts let the compiler turn this into vector code.
                for (int x = 0; x < width; ++x) {
                    const uint32_t p = src[x];
                    const uint32_t out = (p & 0xFFu) << 16 | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
                    std::memcpy(dst + static_cast<size_t>(x) * 4, &out, 4);
                }
                continue;
            }
            for (int x = 0; x < width; ++x) {
                const uint32_t p = src[x];
                const uint32_t out = (p & 0xFFu) << r.shift | ((p >> 8) & 0xFFu) << g.shift | ((p >> 16) & 0xFFu) << b.shift;
                std::memcpy(dst + static_cast<size_t>(x) * 4, &out, 4);
            }
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const uint32_t p = swapped ? swapRedBlue(src[x]) : src[x];
            const uint32_t value = place(p & 0xFFu, r) | place((p >> 8) & 0xFFu, g) | place((p >> 16) & 0xFFu, b);
            uint8_t* out = dst + static_cast<size_t>(x) * bytes;
            for (int i = 0; i < bytes; ++i) {
                const int byteIndex = layout.mostSignificantFirst ? bytes - 1 - i : i;
                out[byteIndex] = static_cast<uint8_t>(value >> (8 * i));
            }
        }
    }
}

}  // namespace platform
