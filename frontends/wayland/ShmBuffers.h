#pragma once

#include <wayland-client.h>

#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/Framebuffer.h"
#include "platform/Region.h"

namespace platform {

// One frame's pixels in memory shared with the compositor (wl_shm, format
// XRGB8888: 0xXXRRGGBB in native little-endian words, our bgrx order), so
// frames are rendered straight into it. The compositor holds the buffer
// from the commit that shows it until it sends release; only then may the
// next frame be drawn into it.
class ShmBuffer {
public:
    // Throws std::bad_alloc when the memory cannot be had.
    ShmBuffer(wl_shm* shm, int width, int height, std::function<void()> onRelease);
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    wl_buffer* buffer() const { return buffer_; }
    PixelView pixels() const { return {px_, width_, height_, ChannelOrder::bgrx}; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool busy() const { return busy_; }
    // The buffer was attached and committed: the compositor has it now.
    void handOver() { busy_ = true; }

    // Whether the buffer holds a frame of its surface.
    bool holdsFrame() const { return holdsFrame_; }

private:
    static void released(void* data, wl_buffer* buffer);
    static const wl_buffer_listener listener_;

    int width_;
    int height_;
    size_t bytes_;
    uint32_t* px_ = nullptr;
    wl_buffer* buffer_ = nullptr;
    bool busy_ = false;
    bool holdsFrame_ = false;
    std::vector<PixelRect> missed_;  // what the frames drawn into other buffers since changed
    std::function<void()> onRelease_;

    friend class ShmBufferPool;
};

// The buffers of one surface, made as needed: a new one only when the
// compositor holds all of them, at most three (two suffice when it gives each
// back once the next is shown). Buffers of an old size are dropped as soon as
// the compositor gives them back.
//
// Frames are drawn into the buffers in turn, each only where it changed, so
// the pool keeps for every buffer the pixels it missed: the changes of the
// frames drawn into the others since. The next frame drawn into a buffer
// redraws those too (from the frame's drawing, which reads the canvas rather
// than another buffer's cold pages), but only its own changes are the damage
// the compositor is told of.
class ShmBufferPool {
public:
    static constexpr size_t maxBuffers = 3;
    // What a buffer missed is kept as the frames' changes as they were found,
    // which cover few pixels that did not change, until they are more than
    // this many rectangles (a third buffer, or frames that change much): then
    // as the fewer, larger rectangles of a frame's damage.
    static constexpr size_t missedRects = 256;

    ShmBufferPool(wl_display* display, wl_shm* shm, std::function<void()> onRelease)
        : display_(display), shm_(shm), onRelease_(std::move(onRelease)) {}

    // A buffer of this size the compositor does not hold, or null when it
    // holds as many as may be made.
    ShmBuffer* acquire(int width, int height);

    // The pixels the buffer missed since it was last drawn into, or null
    // when it holds no frame of its surface: then the next frame must be
    // drawn into it whole.
    const std::vector<PixelRect>* missedBy(const ShmBuffer& buffer) const;
    // A frame that changed the pixels in `changes` was drawn into `buffer`: it
    // holds the latest frame now, and every other buffer has missed them.
    void frameDrawn(ShmBuffer& buffer, std::span<const PixelRect> changes);
    // The frames held are of no use any more (the surface changed size).
    void forgetFrames();

private:
    wl_display* display_;
    wl_shm* shm_;
    std::function<void()> onRelease_;
    std::vector<std::unique_ptr<ShmBuffer>> buffers_;
    ShmBuffer* latest_ = nullptr;  // holds the latest frame drawn
};

}  // namespace platform
