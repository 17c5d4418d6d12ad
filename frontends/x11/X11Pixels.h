#pragma once

#include <cstdint>
#include <optional>

#include "platform/Framebuffer.h"
#include "platform/Region.h"

namespace platform {

// How an X image stores a TrueColor pixel: the channel masks of the visual,
// the bits per pixel of the image and its byte order.
struct PixelLayout {
    uint32_t redMask = 0;
    uint32_t greenMask = 0;
    uint32_t blueMask = 0;
    int bitsPerPixel = 0;
    bool mostSignificantFirst = false;
};

// Where one channel goes: its 8-bit value is cut or widened to `bits` and
// shifted up by `shift`.
struct ChannelPlace {
    int shift = 0;
    int bits = 0;
};

// The place of a contiguous mask, or nothing for an empty or broken mask.
std::optional<ChannelPlace> placeOf(uint32_t mask);

// Whether frames can be written in this layout: contiguous masks and 16, 24
// or 32 bits per pixel.
bool isSupported(const PixelLayout& layout);

// The framebuffer pixel (0xXXBBGGRR) as the visual's pixel value.
uint32_t encodePixel(uint32_t rgbx, const PixelLayout& layout);

// The framebuffer order that lets frames be copied into this layout as they
// are: blue in the low byte for 32-bit BGRX in host byte order.
ChannelOrder preferredOrder(const PixelLayout& layout);

// Writes the whole framebuffer, or the part of it in area, into image memory
// of the same size whose rows are bytesPerRow apart. The layout must be supported.
void writeFrame(const Framebuffer& frame, const PixelLayout& layout, uint8_t* image, int bytesPerRow);
void writeFrame(const Framebuffer& frame, const PixelLayout& layout, uint8_t* image, int bytesPerRow, PixelRect area);

}  // namespace platform
